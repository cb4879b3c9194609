#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/text_conversion.h"
#include "tests/support/temp_dir.h"
#include "xml/xml_element_sink.h"
#include "xml/xml_node.h"

using namespace std::string_literals;
using xml::XmlError;
using xml::XmlNode;
using xml::XmlResult;

namespace {

std::string Utf16(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

class XmlFile : public testing::Test {
protected:
    std::wstring Write(const std::string& bytes) {
        const std::string name = "f" + std::to_string(count_++) + ".xml";
        dir_.Write(name, bytes);
        return dir_.WPath(name);
    }
    std::wstring Dir() const { return std::wstring(dir_.Dir().begin(), dir_.Dir().end()); }

    test_support::TempDir dir_;

private:
    int count_ = 0;
};

}  // namespace

// How ParseFile reads the bytes of a file, and what it reports.
TEST_F(XmlFile, Encodings) {
    struct Case {
        const char* what;
        std::string bytes;
        XmlError error;
        const wchar_t* value;  // of attribute v of the element read, when read
    } cases[] = {
        {"UTF-16LE with mark", "\xFF\xFE" + Utf16(u"<a v='\u00e9\U0001F600'/>"), XmlError::kNone,
         L"\u00e9\U0001F600"},
        {"UTF-16LE without mark", Utf16(u"<a v='\u4e2d'/>"), XmlError::kNone, L"\u4e2d"},
        {"UTF-8 with mark", "\xEF\xBB\xBF<a v='\xC3\xA9'/>", XmlError::kNone, L"\u00e9"},
        {"UTF-8 without mark (the code page)", "<a v='\xC3\xA9'/>", XmlError::kNone, L"\u00e9"},
        {"invalid UTF-8", "<a v='\xC3'/>", XmlError::kConversionFailed, nullptr},
        {"UTF-16 mark with an odd byte count", "\xFF\xFE<\0a"s, XmlError::kConversionFailed,
         nullptr},
        {"empty file", "", XmlError::kNoXmlData, nullptr},
        {"only the mark", "\xFF\xFE", XmlError::kWarnNoXmlTag, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XmlResult r;
        const XmlNode n = XmlNode::ParseFile(Write(c.bytes), &r);
        EXPECT_EQ(r.error, c.error);
        if (c.value) {
            ASSERT_FALSE(n.IsEmpty());
            EXPECT_EQ(std::wstring(n.GetAttribute(L"v")), c.value);
        }
        if (xml::IsXmlFailure(c.error)) {
            EXPECT_TRUE(n.IsEmpty());
            EXPECT_EQ(r.line, 0);  // nothing was parsed
            EXPECT_EQ(r.column, 0);
        }
    }
}

namespace {
struct CountingSinkBase : xml::XmlElementSink {
    uintptr_t OnElement(uintptr_t, const wchar_t*, bool,
                        std::span<const xml::XmlAttribute>) override {
        return 1;
    }
};
}  // namespace

TEST_F(XmlFile, MissingOrUnreadable) {
    XmlResult r;
    EXPECT_TRUE(XmlNode::ParseFile(Dir() + L"/none.xml", &r).IsEmpty());
    EXPECT_EQ(r.error, XmlError::kFileNotFound);
    EXPECT_EQ(r.line, 0);
    EXPECT_EQ(r.reason, L"No such file or directory");

    // The bytes of a UTF-16 file cut short: what is wrong, not just the code.
    xml::ParseFileToSink(Write("\xFF\xFE<\0a\0/\0>"s), *std::make_unique<CountingSinkBase>(), &r);
    EXPECT_EQ(r.error, XmlError::kConversionFailed);
    EXPECT_EQ(r.reason, L"the file ends in the middle of a UTF-16 character (is it cut short?)");
    // A successful read clears it.
    XmlNode::ParseFile(Write("<a/>"), &r);
    EXPECT_EQ(r.error, XmlError::kNone);
    EXPECT_EQ(r.reason, L"");
}

namespace {

// Counts what the sink is told; a refused file must tell it nothing.
class CountingSink : public xml::XmlElementSink {
public:
    uintptr_t OnElement(uintptr_t, const wchar_t*, bool,
                        std::span<const xml::XmlAttribute>) override {
        return ++elements;
    }
    uintptr_t elements = 0;
};

}  // namespace

// Devices, pipes and directories never end or never start, and a huge file
// would take the memory: each is refused before a byte is read, by both
// readers, with a code of its own.
TEST_F(XmlFile, RefusesWhatIsNotARegularFileOrTooLarge) {
    const std::string fifo = dir_.Path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir_.Path("huge.xml");
    {
        std::ofstream(huge, std::ios::binary) << "<a/>";
        std::filesystem::resize_file(huge, xml::kMaxXmlFileBytes + 1);  // sparse
    }
    struct Case {
        const char* what;
        std::string path;
        XmlError error;
    } cases[] = {
        {"endless device", "/dev/zero", XmlError::kNotARegularFile},
        {"pipe without a writer", fifo, XmlError::kNotARegularFile},
        {"directory", dir_.Dir(), XmlError::kNotARegularFile},
        {"file above the limit", huge, XmlError::kFileTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path(c.path.begin(), c.path.end());
        XmlResult r{XmlError::kNone, 7, 7, {}};
        EXPECT_TRUE(XmlNode::ParseFile(path, &r).IsEmpty());
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.line, 0);

        CountingSink sink;
        r = XmlResult{};
        xml::ParseFileToSink(path, sink, &r);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(sink.elements, 0u);
    }
}

// A surrogate pair is one character, in UTF-16 files as in wide text.
TEST_F(XmlFile, PositionsCountCharacters) {
    XmlResult fromFile, fromText;
    XmlNode::ParseFile(Write("\xFF\xFE" + Utf16(u"<a>\n\U0001F600</b>")), &fromFile);
    XmlNode::ParseString(L"<a>\n\U0001F600</b>", &fromText);
    EXPECT_EQ(fromFile.error, XmlError::kUnmatchedEndTag);
    EXPECT_EQ(fromFile.line, 2);
    EXPECT_EQ(fromFile.column, 6);
    EXPECT_EQ(fromText.line, fromFile.line);
    EXPECT_EQ(fromText.column, fromFile.column);
}

TEST_F(XmlFile, BytesInMemoryReadLikeAFile) {
    const std::string bytes = "\xFF\xFE" + Utf16(u"<?xml version=\"1.0\"?><Charts/>");
    XmlResult r;
    const XmlNode n = XmlNode::ParseBytes(bytes.data(), bytes.size(), &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    EXPECT_TRUE(n.IsDeclaration());
    EXPECT_FALSE(n.GetChild(L"charts").IsEmpty());
}

TEST(TextConversion, Utf8Strictness) {
    std::wstring w;
    EXPECT_TRUE(platform::Utf8ToWide("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", w));
    EXPECT_EQ(w, L"a\u00e9\u4e2d\U0001F600");
    for (const char* bad :
         {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF"}) {
        EXPECT_FALSE(platform::Utf8ToWide(bad, w)) << testing::PrintToString(std::string(bad));
    }
    EXPECT_EQ(platform::WideToUtf8(L"a\u00e9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
    const wchar_t lone[] = {0xD800, static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(platform::WideToUtf8(lone), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextConversion, Utf16) {
    const std::string bytes = Utf16(u"A\U0001F600") + "\x00\xD8"s;  // and a lone surrogate
    std::wstring w;
    ASSERT_TRUE(
        platform::Utf16LeToWide(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), w));
    EXPECT_EQ(w, std::wstring(L"A\U0001F600") + static_cast<wchar_t>(0xD800));
    std::vector<uint8_t> back;
    ASSERT_TRUE(platform::WideToUtf16Le(w, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), bytes);
    EXPECT_FALSE(platform::Utf16LeToWide(reinterpret_cast<const uint8_t*>("abc"), 3, w));
    EXPECT_FALSE(platform::WideToUtf16Le(std::wstring(1, static_cast<wchar_t>(0x110000)), back));
}

TEST(TextConversion, UnicodeTextTest) {
    struct Case {
        std::string bytes;
        bool unicode;
    } cases[] = {
        {"\xFF\xFE", true},
        {"\xFF\xFE<\0a"s, true},  // the mark decides, whatever follows
        {Utf16(u"<Charts><Chart/></Charts>"), true},
        {Utf16(u"<a>\u4e2d\u6587 text</a>"), true},
        {"\xEF\xBB\xBF<\0a\0"s, false},
        {"\xFE\xFF\0<\0a"s, false},
        {"<Charts/>\n", false},
        {"<a>\xC3\xA9</a>", false},
        {std::string("ab\0c", 4), false},  // one stray zero does not make UTF-16
        {std::string(8, '\0'), false},
        {"x", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::IsTextUnicode(c.bytes.data(), c.bytes.size()), c.unicode)
            << testing::PrintToString(c.bytes);
    }
}
