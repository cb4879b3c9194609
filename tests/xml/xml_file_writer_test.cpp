#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_dir.h"
#include "xml/xml_file_writer.h"
#include "xml/xml_node.h"

using xml::XmlError;
using xml::XmlNode;
using xml::XmlResult;

namespace {

using test_support::TempDir;

std::string ReadBytes(const std::string& path) {
    return TempDir::ReadFile(path);
}

// What the writer puts in a file for `text`: UTF-16LE after the mark.
std::string FileBytes(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        const auto u = static_cast<uint32_t>(c);
        if (u >= 0x10000) {
            const uint32_t v = u - 0x10000, hi = 0xD800 + (v >> 10), lo = 0xDC00 + (v & 0x3FF);
            out += {static_cast<char>(hi), static_cast<char>(hi >> 8), static_cast<char>(lo),
                    static_cast<char>(lo >> 8)};
        } else {
            out += {static_cast<char>(u), static_cast<char>(u >> 8)};
        }
    }
    return out;
}

const wchar_t kDecl[] = L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n";

}  // namespace

TEST(XmlWriter, ChartsFileExample) {
    TempDir dir;
    XmlNode root = XmlNode::CreateRoot();
    XmlNode charts = root.AddChild(L"Charts");
    charts.AddChild(L"Chart").AddAttribute(L"Name", L"A&B");
    ASSERT_EQ(charts.WriteFile(dir.WPath("c.xml")), XmlError::kNone);
    EXPECT_EQ(
        ReadBytes(dir.Path("c.xml")),
        FileBytes(std::wstring(kDecl) + L"<Charts>\n\t<Chart Name=\"A&amp;B\"/>\n</Charts>\n"));
    // The root writes only its content: the same bytes.
    ASSERT_EQ(root.WriteFile(dir.WPath("r.xml")), XmlError::kNone);
    EXPECT_EQ(ReadBytes(dir.Path("r.xml")), ReadBytes(dir.Path("c.xml")));
}

TEST(XmlWriter, Layouts) {
    struct Case {
        const char* what;
        XmlNode node;
        const wchar_t* text;
    };
    auto make = [](auto build) {
        XmlNode root = XmlNode::CreateRoot();
        build(root);
        return root;
    };
    const Case cases[] = {
        {"one text on one line", make([](XmlNode r) { r.AddChild(L"e").AddText(L"a<b"); }),
         L"<e>a&lt;b</e>\n"},
        {"a text and a comment over several lines", make([](XmlNode r) {
             XmlNode e = r.AddChild(L"e");
             e.AddText(L"t");
             e.AddClear(L"c", L"<!--", L"-->");
         }),
         L"<e>\n\tt\n\t<!--c-->\n</e>\n"},
        {"attributes: escaped, bare, nameless skipped", make([](XmlNode r) {
             XmlNode e = r.AddChild(L"e");
             e.AddAttribute(L"q", L"\"'&<>");
             e.AddAttribute(L"bare", nullptr);
             e.AddAttribute(L"", L"dropped");
         }),
         L"<e q=\"&quot;&apos;&amp;&lt;&gt;\" bare/>\n"},
        {"nesting by tabs", make([](XmlNode r) {
             XmlNode a = r.AddChild(L"a");
             XmlNode b = a.AddChild(L"b");
             b.AddChild(L"c");
             b.AddText(L"t");
         }),
         L"<a>\n\t<b>\n\t\t<c/>\n\t\tt\n\t</b>\n</a>\n"},
        {"declaration: no end tag, content at its level", make([](XmlNode r) {
             XmlNode d = r.AddChild(L"xml", true);
             d.AddAttribute(L"version", L"1.0");
             d.AddChild(L"a").AddChild(L"b");
             d.AddText(L"t");
         }),
         L"<?xml version=\"1.0\"?>\n<a>\n\t<b/>\n</a>\n\tt\n"},
        {"root content: texts one tab in", make([](XmlNode r) {
             r.AddText(L"top");
             r.AddChild(L"a");
             r.AddClear(L"raw", L"", L"");
         }),
         L"\ttop\n<a/>\nraw\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.node.ToString(), c.text);
    }
}

TEST(XmlWriter, StreamedFileMatchesTreeFile) {
    TempDir dir;
    XmlNode root = XmlNode::CreateRoot();
    XmlNode d = root.AddChild(L"xml", true);
    d.AddAttribute(L"version", L"1.0");
    XmlNode a = d.AddChild(L"a");
    a.AddAttribute(L"k", L"v&");
    a.AddChild(L"one").AddText(L"only text");
    XmlNode b = a.AddChild(L"b");
    b.AddText(L"held");
    b.AddChild(L"c");
    a.AddClear(L"x", L"<!--", L"-->");
    a.AddChild(L"empty");
    ASSERT_EQ(root.WriteFile(dir.WPath("tree.xml")), XmlError::kNone);

    xml::XmlFileWriter w;
    ASSERT_EQ(w.Open(dir.WPath("stream.xml"), false), XmlError::kNone);
    w.StartElement(L"xml", {{L"version", L"1.0"}}, true);
    w.StartElement(L"a", {{L"k", L"v&"}});
    w.StartElement(L"one");
    w.AddText(L"only text");
    w.EndElement();
    w.StartElement(L"b");
    w.AddText(L"held");
    w.StartElement(L"c");
    w.EndElement();
    w.EndElement();
    w.AddClear(L"x", L"<!--", L"-->");
    w.StartElement(L"empty");
    // Close ends what is still open.
    ASSERT_EQ(w.Close(), XmlError::kNone);
    EXPECT_EQ(ReadBytes(dir.Path("stream.xml")), ReadBytes(dir.Path("tree.xml")));
}

TEST(XmlWriter, DeclarationLineOnlyWhenTheDocumentLacksOne) {
    TempDir dir;
    XmlNode root = XmlNode::CreateRoot();
    root.AddChild(L"xml", true).AddChild(L"a");
    ASSERT_EQ(root.WriteFile(dir.WPath("root.xml")), XmlError::kNone);
    EXPECT_EQ(ReadBytes(dir.Path("root.xml")), FileBytes(L"<?xml?>\n<a/>\n"));
    ASSERT_EQ(root.ChildAt(0).WriteFile(dir.WPath("decl.xml")), XmlError::kNone);
    EXPECT_EQ(ReadBytes(dir.Path("decl.xml")), FileBytes(L"<?xml?>\n<a/>\n"));
}

TEST(XmlWriter, FileRoundTripKeepsEveryCharacter) {
    TempDir dir;
    const std::wstring value = L"\u00e9\u4e2d\U0001F600 \"q\" <&>";
    XmlNode root = XmlNode::CreateRoot();
    XmlNode e = root.AddChild(L"Chart");
    e.AddAttribute(L"Name", value.c_str());
    e.AddChild(L"t").AddText(value.c_str());
    ASSERT_EQ(e.WriteFile(dir.WPath("u.xml")), XmlError::kNone);

    XmlResult r;
    const XmlNode decl = XmlNode::ParseFile(dir.WPath("u.xml"), &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    const XmlNode back = decl.GetChild(L"Chart");
    EXPECT_EQ(std::wstring(back.GetAttribute(L"Name")), value);
    EXPECT_EQ(std::wstring(back.GetChild(L"t").TextAt(0)), value);
}

TEST(XmlWriter, Failures) {
    TempDir dir;
    XmlNode root = XmlNode::CreateRoot();
    root.AddChild(L"a");
    std::wstring reason;
    EXPECT_EQ(root.WriteFile(dir.WPath("missing/dir/x.xml"), &reason),
              XmlError::kCannotOpenForWriting);
    EXPECT_EQ(reason, L"No such file or directory");
    EXPECT_EQ(xml::XmlFileErrorText(XmlError::kCannotOpenForWriting, L"/d/x.xml", reason),
              L"Error: unable to open file for writing \"/d/x.xml\": No such file or directory");
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(root.WriteFile(L"/dev/full", &reason), XmlError::kCannotWrite);
        EXPECT_EQ(reason, L"No space left on device");
        xml::XmlFileWriter full;
        EXPECT_EQ(full.Open(L"/dev/full"), XmlError::kCannotWrite);  // the mark is written at once
        EXPECT_EQ(full.SystemError(), ENOSPC);
        EXPECT_EQ(full.Reason(), L"No space left on device");
    }

    // A character UTF-16 cannot carry: refused before the file is touched.
    const std::string keep = dir.Path("keep.xml");
    std::ofstream(keep) << "old";
    XmlNode bad = XmlNode::CreateRoot();
    const wchar_t beyond[] = {static_cast<wchar_t>(0x110000), 0};
    bad.AddChild(L"a").AddAttribute(L"v", beyond);
    EXPECT_EQ(bad.WriteFile(dir.WPath("keep.xml")), XmlError::kConversionFailed);
    EXPECT_EQ(ReadBytes(keep), "old");

    xml::XmlFileWriter w;
    ASSERT_EQ(w.Open(dir.WPath("s.xml")), XmlError::kNone);
    w.StartElement(L"a", {{L"v", beyond}});
    EXPECT_EQ(w.Close(), XmlError::kConversionFailed);
    EXPECT_EQ(w.Reason(), L"a character has no UTF-16 form");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("s.xml")));
}

TEST(XmlErrorText, TableAndUnknown) {
    EXPECT_STREQ(xml::XmlErrorText(0), L"No error");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kWarnUnmatchedEndTag), L"Warning: Unmatched end tag");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kFileNotFound), L"Error: File not found");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kCharCodeAbove255),
                 L"Error: Character code above 255 is forbidden in MultiByte char mode.");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kBase64BufferTooSmall),
                 L"Error: Base64 decode output buffer is too small");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kNotARegularFile), L"Error: Not a regular file");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kFileTooLarge), L"Error: File is larger than 1 GiB");
    EXPECT_STREQ(xml::XmlErrorText(XmlError::kOutOfMemory),
                 L"Error: Not enough memory to read the file");
    EXPECT_STREQ(xml::XmlErrorText(24), L"Unknown");
    EXPECT_STREQ(xml::XmlErrorText(-1), L"Unknown");
}

namespace {

// Writes fail once a file would exceed `bytes` while this lives (EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

XmlNode BigDocument() {
    XmlNode root = XmlNode::CreateRoot();
    XmlNode list = root.AddChild(L"list");
    for (int i = 0; i < 2000; ++i) list.AddChild(L"item").AddAttribute(L"v", L"some value");
    return root;
}

}  // namespace

TEST(XmlWriter, AFailedSaveLeavesTheOldFileAndNoLeftovers) {
    TempDir dir;
    const std::string keep = dir.Path("keep.xml");
    std::ofstream(keep) << "old content";
    chmod(keep.c_str(), 0640);
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(BigDocument().WriteFile(dir.WPath("keep.xml")), XmlError::kCannotWrite);
        EXPECT_EQ(BigDocument().WriteFile(dir.WPath("new.xml")), XmlError::kCannotWrite);
    }
    EXPECT_EQ(ReadBytes(keep), "old content");
    EXPECT_EQ(dir.Entries(), 1u);  // no temporary file, no half-made new.xml

    // The same save without the limit replaces the file and keeps its mode.
    ASSERT_EQ(BigDocument().WriteFile(dir.WPath("keep.xml")), XmlError::kNone);
    EXPECT_GT(ReadBytes(keep).size(), 4096u);
    struct stat st;
    ASSERT_EQ(stat(keep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST(XmlWriter, SavingThroughASymbolicLinkReplacesItsDestination) {
    TempDir dir;
    std::ofstream(dir.Path("real.xml")) << "old";
    ASSERT_EQ(symlink(dir.Path("real.xml").c_str(), dir.Path("link.xml").c_str()), 0);
    XmlNode root = XmlNode::CreateRoot();
    root.AddChild(L"a");
    ASSERT_EQ(root.WriteFile(dir.WPath("link.xml")), XmlError::kNone);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.xml")));
    EXPECT_EQ(ReadBytes(dir.Path("real.xml")), ReadBytes(dir.Path("link.xml")));
    EXPECT_NE(ReadBytes(dir.Path("real.xml")), "old");
}

TEST(XmlFileWriter, AFailedStreamedSaveLeavesTheOldFile) {
    TempDir dir;
    const std::string keep = dir.Path("keep.xml");
    std::ofstream(keep) << "old content";
    {
        FileSizeLimit limit(4096);
        xml::XmlFileWriter writer;
        ASSERT_EQ(writer.Open(dir.WPath("keep.xml")), XmlError::kNone);
        writer.StartElement(L"list");
        for (int i = 0; i < 2000; ++i) {
            writer.StartElement(L"item", {{L"v", L"some value"}});
            writer.EndElement();
        }
        EXPECT_EQ(writer.Close(), XmlError::kCannotWrite);
    }
    EXPECT_EQ(ReadBytes(keep), "old content");
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST(XmlFileWriter, ANewFileAppearsOnlyWhenItIsWhole) {
    // A reader, or a program killed mid-save, must never find the new file
    // empty or half written.
    TempDir dir;
    xml::XmlFileWriter writer;
    ASSERT_EQ(writer.Open(dir.WPath("new.xml")), XmlError::kNone);
    writer.StartElement(L"list");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.xml")));
    ASSERT_EQ(writer.Close(), XmlError::kNone);
    XmlResult r;
    const XmlNode back = XmlNode::ParseFile(dir.WPath("new.xml"), &r);
    EXPECT_EQ(r.error, XmlError::kNone);
    EXPECT_FALSE(back.GetChild(L"list").IsEmpty());
    EXPECT_EQ(dir.Entries(), 1u);
}

// The mask is read, not set and restored (files are written on more than
// one thread); a new file still takes it, and it stays as it was.
TEST(XmlWriter, ANewFileTakesTheFileMask) {
    TempDir dir;
    const mode_t saved = umask(027);
    XmlNode root = XmlNode::CreateRoot();
    root.AddChild(L"Charts");
    const XmlError written = root.WriteFile(dir.WPath("new.xml"));
    EXPECT_EQ(027u, umask(saved));
    ASSERT_EQ(written, XmlError::kNone);
    struct stat st;
    ASSERT_EQ(stat(dir.Path("new.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
