#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "xml/xml_element_sink.h"
#include "xml/xml_node.h"

using xml::XmlError;
using xml::XmlNode;
using xml::XmlResult;

namespace {

XmlNode Parse(const wchar_t* text, XmlResult* r) {
    return XmlNode::ParseString(text, r);
}

std::wstring Name(const XmlNode& n) {
    return n.GetName() ? n.GetName() : L"<null>";
}

// Element names of the whole tree in document order, nesting shown by "(...)".
std::wstring Shape(const XmlNode& n) {
    std::wstring s = Name(n);
    if (n.ChildCount() == 0)
        return s;
    s += L"(";
    for (int i = 0; i < n.ChildCount(); ++i) s += (i ? L"," : L"") + Shape(n.ChildAt(i));
    return s + L")";
}

}  // namespace

// The documented quirks of the reader, each with the tree it keeps (empty
// for failures), the code and where it is reported.
TEST(XmlReader, ResultsAndPositions) {
    struct Case {
        const wchar_t* text;
        XmlError error;
        int line, column;
        const wchar_t* shape;  // of the returned node; nullptr: empty handle
    } cases[] = {
        // b is never closed; the end tag of a closes both, with a warning at it.
        {L"<a><b></a>", XmlError::kWarnUnmatchedEndTag, 1, 11, L"a(b)"},
        {L"<a></b>", XmlError::kUnmatchedEndTag, 1, 8, nullptr},
        {L"<a>", XmlError::kWarnUnmatchedEndTag, 1, 4, L"a"},
        {L"", XmlError::kWarnNoXmlTag, 1, 1, L"<null>"},
        {L"just text", XmlError::kWarnNoXmlTag, 1, 10, L"<null>"},
        {L"<a/>", XmlError::kNone, 0, 0, L"a"},
        {L"<a/><b/>", XmlError::kNone, 0, 0, L"<null>(a,b)"},
        // One end tag may close several elements, up to the one it names.
        {L"<a><b><c></a><d/>", XmlError::kWarnUnmatchedEndTag, 1, 14, L"<null>(a(b(c)),d)"},
        // End tags match ignoring case, but only a whole name matches.
        {L"<Data></DATA>", XmlError::kNone, 0, 0, L"Data"},
        {L"<ab></a>", XmlError::kUnmatchedEndTag, 1, 9, nullptr},
        {L"<a></ab>", XmlError::kUnmatchedEndTag, 1, 9, nullptr},
        // An end tag met by the root ends the parse; the rest is not read.
        {L"<a/></x><b/>", XmlError::kWarnUnmatchedEndTag, 1, 9, L"a"},
        {L"<a><x y=1 \n z= >", XmlError::kUnexpectedToken, 2, 5, nullptr},
        {L"<a x", XmlError::kUnexpectedToken, 1, 5, nullptr},
        {L"<a><></a>", XmlError::kMissingStartTagName, 1, 5, nullptr},
        {L"<a></>", XmlError::kMissingEndTagName, 1, 6, nullptr},
        {L"<a></a", XmlError::kMissingEndTagName, 1, 7, nullptr},
        {L"<a><![CDATA[never closed</a>", XmlError::kUnmatchedClearTagEnd, 1, 4, nullptr},
        {L"<a>&bogus;</a>", XmlError::kUnknownCharacterEntity, 1, 4, nullptr},
        // Without a child element any failure reads as "no XML tag".
        {L"<>", XmlError::kWarnNoXmlTag, 1, 2, L"<null>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "text: " << testing::PrintToString(std::wstring(c.text)));
        XmlResult r;
        const XmlNode n = Parse(c.text, &r);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(r.column, c.column);
        if (c.shape) {
            ASSERT_FALSE(n.IsEmpty());
            EXPECT_EQ(Shape(n), c.shape);
        } else {
            EXPECT_TRUE(n.IsEmpty());
        }
    }
}

TEST(XmlReader, AttributeForms) {
    XmlResult r;
    // A "?" closing an ordinary value is kept; only declarations lose it.
    const XmlNode e = Parse(
        L"<e a=1 b='two words' c d=\"x>y/z\" e=\"&lt;&AMP;&#65;&#x42;\" f=\"why?\" g=so? />", &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    ASSERT_EQ(e.AttributeCount(), 7);
    EXPECT_STREQ(e.GetAttribute(L"a"), L"1");
    EXPECT_STREQ(e.GetAttribute(L"B"), L"two words");
    EXPECT_STREQ(e.AttributeAt(2).name, L"c");
    EXPECT_EQ(e.AttributeAt(2).value, nullptr);
    EXPECT_EQ(e.GetAttribute(L"c"), nullptr);
    EXPECT_STREQ(e.GetAttribute(L"d"), L"x>y/z");
    EXPECT_STREQ(e.GetAttribute(L"e"), L"<&AB");
    EXPECT_STREQ(e.GetAttribute(L"f"), L"why?");
    EXPECT_STREQ(e.GetAttribute(L"g"), L"so?");
    EXPECT_EQ(e.GetAttribute(L"missing"), nullptr);
}

TEST(XmlReader, FirstAttributeOfANameWins) {
    XmlResult r;
    const XmlNode e = Parse(L"<e X=1 x=2/>", &r);
    EXPECT_STREQ(e.GetAttribute(L"x"), L"1");
}

TEST(XmlReader, UnclosedQuoteStartsOrdinaryText) {
    XmlResult r;
    const XmlNode e = Parse(L"<e a='b c=d/>", &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    ASSERT_EQ(e.AttributeCount(), 2);
    EXPECT_STREQ(e.AttributeAt(0).name, L"a");
    EXPECT_STREQ(e.AttributeAt(0).value, L"'b");
    EXPECT_STREQ(e.GetAttribute(L"c"), L"d");
}

TEST(XmlReader, EntitiesAndReferences) {
    struct Case {
        const wchar_t* text;
        const wchar_t* decoded;  // nullptr: error 12
    } cases[] = {
        {L"<e>&#65;&#x42;&lt;</e>", L"AB<"},
        {L"<e>&amp;&gt;&quot;&apos;&Lt;</e>", L"&>\"'<"},
        {L"<e>&#X41;&#x1F600;</e>", L"A\xF600"},  // references keep 16 bits
        {L"<e>&#65</e>", nullptr},
        {L"<e>&#6a;</e>", nullptr},
        {L"<e>&#x;</e>", nullptr},
        {L"<e>&#0;</e>", nullptr},  // no text carries a NUL
        {L"<e>&nbsp;</e>", nullptr},
        {L"<e>a & b</e>", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        XmlResult r;
        const XmlNode e = Parse(c.text, &r);
        if (c.decoded) {
            ASSERT_EQ(r.error, XmlError::kNone);
            EXPECT_STREQ(e.TextAt(0), c.decoded);
        } else {
            EXPECT_EQ(r.error, XmlError::kUnknownCharacterEntity);
            EXPECT_TRUE(e.IsEmpty());
        }
    }
}

TEST(XmlReader, DeclarationHoldsTheRestOfTheDocument) {
    XmlResult r;
    const XmlNode decl = Parse(L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<Charts/>", &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    EXPECT_TRUE(decl.IsDeclaration());
    EXPECT_EQ(Shape(decl), L"xml(Charts)");
    ASSERT_EQ(decl.AttributeCount(), 2);  // the "?" of "?>" is no attribute
    EXPECT_STREQ(decl.GetAttribute(L"version"), L"1.0");
    EXPECT_STREQ(decl.GetAttribute(L"encoding"), L"utf-16");

    const XmlNode charts = Parse(L"<Charts/>", &r);
    EXPECT_EQ(Shape(charts), L"Charts");
    EXPECT_FALSE(charts.IsDeclaration());

    // An unquoted last value loses the "?" too.
    EXPECT_STREQ(Parse(L"<?xml version=1.0?><a/>", &r).GetAttribute(L"version"), L"1.0");
}

TEST(XmlReader, NestedDeclarationClosesAtItsEnd) {
    XmlResult r;
    const XmlNode a = Parse(L"<a><?pi x?><b/></a>", &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    EXPECT_EQ(Shape(a), L"a(pi,b)");
    EXPECT_TRUE(a.ChildAt(0).IsDeclaration());
    EXPECT_STREQ(a.ChildAt(0).AttributeAt(0).name, L"x");
}

TEST(XmlReader, TextsClearSectionsAndDocumentOrder) {
    XmlResult r;
    const XmlNode e = Parse(
        L"<e>  one <![CDATA[<raw & stuff>]]><b/>\n two\t<!DOCTYPE d [<!ENTITY x \"y\">]>"
        L"<!DOCTYPE html><PRE>a <b> c</PRE><![CDATA[]]></e>",
        &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    ASSERT_EQ(e.TextCount(), 2);
    EXPECT_STREQ(e.TextAt(0), L"one");
    EXPECT_STREQ(e.TextAt(1), L"two");
    ASSERT_EQ(e.ClearCount(), 5);
    EXPECT_STREQ(e.ClearAt(0).value, L"<raw & stuff>");
    EXPECT_STREQ(e.ClearAt(0).openTag, L"<![CDATA[");
    EXPECT_STREQ(e.ClearAt(1).value, L" d [<!ENTITY x \"y\">");
    EXPECT_STREQ(e.ClearAt(1).closeTag, L"]>");
    EXPECT_STREQ(e.ClearAt(2).value, L" html");
    EXPECT_STREQ(e.ClearAt(2).closeTag, L">");
    EXPECT_STREQ(e.ClearAt(3).value, L"a <b> c");
    EXPECT_EQ(e.ClearAt(4).value, nullptr);  // empty section

    const std::vector<std::pair<xml::XmlContentKind, int>> expected = {
        {xml::XmlContentKind::kText, 0},    {xml::XmlContentKind::kClear, 0},
        {xml::XmlContentKind::kElement, 0}, {xml::XmlContentKind::kText, 1},
        {xml::XmlContentKind::kClear, 1},   {xml::XmlContentKind::kClear, 2},
        {xml::XmlContentKind::kClear, 3},   {xml::XmlContentKind::kClear, 4},
    };
    ASSERT_EQ(e.ContentCount(), static_cast<int>(expected.size()));
    for (int i = 0; i < e.ContentCount(); ++i) {
        EXPECT_EQ(e.ContentAt(i).kind, expected[i].first) << i;
        EXPECT_EQ(e.ContentAt(i).index, expected[i].second) << i;
    }

    // Text right before and right after a section: two texts, the section between.
    const XmlNode tight = Parse(L"<t>left<![CDATA[mid]]>right</t>", &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    ASSERT_EQ(tight.TextCount(), 2);
    EXPECT_STREQ(tight.TextAt(0), L"left");
    EXPECT_STREQ(tight.TextAt(1), L"right");
    ASSERT_EQ(tight.ClearCount(), 1);
    EXPECT_STREQ(tight.ClearAt(0).value, L"mid");
    ASSERT_EQ(tight.ContentCount(), 3);
    EXPECT_EQ(tight.ContentAt(0).kind, xml::XmlContentKind::kText);
    EXPECT_EQ(tight.ContentAt(1).kind, xml::XmlContentKind::kClear);
    EXPECT_EQ(tight.ContentAt(2).kind, xml::XmlContentKind::kText);
}

TEST(XmlReader, CommentBetweenTextsJoinsThem) {
    XmlResult r;
    const XmlNode e = Parse(L"<e>one<!-- note -->two<!-- end --></e>", &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    ASSERT_EQ(e.TextCount(), 1);
    EXPECT_STREQ(e.TextAt(0), L"onetwo");
    // The trailing comment has no text after it and stays.
    ASSERT_EQ(e.ClearCount(), 1);
    EXPECT_STREQ(e.ClearAt(0).value, L" end ");

    // A comment after an element, not a text, stays between the texts.
    const XmlNode f = Parse(L"<e><b/><!--c-->two</e>", &r);
    EXPECT_EQ(f.ClearCount(), 1);
    EXPECT_EQ(f.TextCount(), 1);
}

TEST(XmlReader, LookupsByName) {
    XmlResult r;
    const XmlNode root = Parse(L"<r><Chart n=0/><x/><CHART n=1/><chart n=2/></r>", &r);
    EXPECT_STREQ(root.GetChild(L"chart").GetAttribute(L"n"), L"0");
    EXPECT_STREQ(root.GetChild(L"chart", 2).GetAttribute(L"n"), L"2");
    EXPECT_STREQ(root.GetChild(L"chart", -1).GetAttribute(L"n"), L"2");
    EXPECT_TRUE(root.GetChild(L"chart", 3).IsEmpty());
    EXPECT_TRUE(root.GetChild(L"none", -1).IsEmpty());

    int cursor = 0;
    std::wstring seen;
    for (XmlNode c; !(c = root.GetChildFrom(L"Chart", &cursor)).IsEmpty();)
        seen += c.GetAttribute(L"n");
    EXPECT_EQ(seen, L"012");
    EXPECT_EQ(cursor, 4);
    EXPECT_TRUE(root.ChildAt(4).IsEmpty());
    EXPECT_TRUE(root.ChildAt(-1).IsEmpty());
}

TEST(XmlReader, EmptyHandleAnswersWithNothing) {
    const XmlNode empty;
    int cursor = 0;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetName(), nullptr);
    EXPECT_EQ(empty.ChildCount(), 0);
    EXPECT_EQ(empty.AttributeCount(), 0);
    EXPECT_TRUE(empty.GetChild(L"a").IsEmpty());
    EXPECT_TRUE(empty.GetChildFrom(L"a", &cursor).IsEmpty());
    EXPECT_EQ(empty.GetAttribute(L"a"), nullptr);
    EXPECT_TRUE(XmlNode(empty).AddChild(L"a").IsEmpty());
    EXPECT_EQ(empty.ToString(), L"");
}

TEST(XmlReader, ChildOutlivesItsDocument) {
    XmlNode b;
    {
        XmlResult r;
        const XmlNode doc = Parse(L"<r><a/><b k=v><c/></b></r>", &r);
        b = doc.GetChild(L"b");
    }
    EXPECT_TRUE(b.GetParent().IsEmpty());
    EXPECT_STREQ(b.GetName(), L"b");
    EXPECT_STREQ(b.GetAttribute(L"k"), L"v");
    EXPECT_STREQ(b.ChildAt(0).GetName(), L"c");
    EXPECT_EQ(b.ChildAt(0).GetParent(), b);
}

// A recursive parser or destructor would overflow the stack here.
TEST(XmlReader, DeepNestingParsesAndFrees) {
    constexpr int kDepth = 300000;
    std::wstring text;
    for (int i = 0; i < kDepth; ++i) text += L"<a>";
    for (int i = 0; i < kDepth; ++i) text += L"</a>";
    XmlResult r;
    XmlNode top = Parse(text.c_str(), &r);
    ASSERT_EQ(r.error, XmlError::kNone);
    XmlNode n = top;
    int depth = 1;
    while (n.ChildCount() == 1) {
        n = n.ChildAt(0);
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    n = XmlNode();
    top = XmlNode();  // frees the whole chain

    // Never closed: the innermost element warns at the end of the text.
    text.resize(static_cast<size_t>(kDepth) * 3);
    EXPECT_FALSE(Parse(text.c_str(), &r).IsEmpty());
    EXPECT_EQ(r.error, XmlError::kWarnUnmatchedEndTag);
    EXPECT_EQ(r.column, kDepth * 3 + 1);
}

namespace {

// Runs fn on a thread whose stack is far too small for a release that
// recursed once per level of a deep tree; false when no such thread starts.
bool RunOnSmallStack(void (*fn)(void*), void* arg) {
    struct Call {
        void (*fn)(void*);
        void* arg;
    } call{fn, arg};
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return false;
    pthread_t thread;
    const bool started = pthread_attr_setstacksize(&attr, 256 * 1024) == 0 &&
                         pthread_create(
                             &thread, &attr,
                             [](void* p) -> void* {
                                 auto* c = static_cast<Call*>(p);
                                 c->fn(c->arg);
                                 return nullptr;
                             },
                             &call) == 0;
    pthread_attr_destroy(&attr);
    return started && pthread_join(thread, nullptr) == 0;
}

void Drop(void* node) {
    *static_cast<XmlNode*>(node) = XmlNode();
}

}  // namespace

// A chain of 300000 levels needs megabytes of stack to free recursively;
// freed on a 256 KiB stack, it proves the release does not recurse. A handle
// kept on a node half way down keeps that node and its subtree, cut loose
// from the freed upper half.
TEST(XmlReader, DeepTreeBuiltByHandFrees) {
    constexpr int kDepth = 300000;
    XmlNode root = XmlNode::CreateRoot();
    XmlNode n = root;
    XmlNode middle;
    for (int i = 1; i <= kDepth; ++i) {
        n = n.AddChild(L"n");
        if (i == kDepth / 2)
            middle = n;
    }
    n = XmlNode();

    ASSERT_TRUE(RunOnSmallStack(Drop, &root));
    EXPECT_TRUE(root.IsEmpty());
    ASSERT_FALSE(middle.IsEmpty());
    EXPECT_TRUE(middle.GetParent().IsEmpty());
    EXPECT_STREQ(middle.GetName(), L"n");
    int below = 0;
    for (XmlNode d = middle; d.ChildCount() == 1; d = d.ChildAt(0)) ++below;
    EXPECT_EQ(below, kDepth - kDepth / 2);

    ASSERT_TRUE(RunOnSmallStack(Drop, &middle));
    EXPECT_TRUE(middle.IsEmpty());
}

namespace {

// Records what the sink receives, as text.
struct RecordingSink : xml::XmlElementSink {
    std::wstring log;
    uintptr_t next = 1;
    uintptr_t OnElement(uintptr_t parent, const wchar_t* name, bool isDeclaration,
                        std::span<const xml::XmlAttribute> attributes) override {
        log += L"E" + std::to_wstring(parent) + L":" + name + (isDeclaration ? L"?" : L"");
        for (const auto& a : attributes)
            log += L" " + std::wstring(a.name) + L"=" + (a.value ? a.value : L"-");
        log += L";";
        return next++;
    }
    void OnText(uintptr_t parent, const wchar_t* text) override {
        log += L"T" + std::to_wstring(parent) + L":" + text + L";";
    }
    void OnClear(uintptr_t parent, const xml::XmlClearSection& s) override {
        log += L"C" + std::to_wstring(parent) + L":" + (s.value ? s.value : L"") + L";";
    }
    void OnTextMerged(uintptr_t parent, const wchar_t* text) override {
        log += L"M" + std::to_wstring(parent) + L":" + text + L";";
    }
};

}  // namespace

TEST(XmlReaderSink, SeesTheDocumentAsTheTreeHasIt) {
    RecordingSink sink;
    XmlResult r;
    xml::ParseStringToSink(L"<?xml v=1?><a k=v f>x<!--c-->y<b/></a><z/>", sink, &r);
    EXPECT_EQ(r.error, XmlError::kNone);
    EXPECT_EQ(sink.log, L"E0:xml? v=1;E1:a k=v f=-;T2:x;C2:c;M2:y;E2:b;E1:z;");
}

TEST(XmlReaderSink, ReportsWhatTheTreeReaderReports) {
    for (const wchar_t* text :
         {L"<a><b></a>", L"<a></b>", L"", L"x", L"<a>\n<b x=>", L"<a>&q;</a>"}) {
        RecordingSink sink;
        XmlResult fromSink, fromTree;
        xml::ParseStringToSink(text, sink, &fromSink);
        XmlNode::ParseString(text, &fromTree);
        EXPECT_EQ(fromSink.error, fromTree.error) << testing::PrintToString(std::wstring(text));
        EXPECT_EQ(fromSink.line, fromTree.line);
        EXPECT_EQ(fromSink.column, fromTree.column);
    }
}
