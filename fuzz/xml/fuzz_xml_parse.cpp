// Arbitrary text into the XML reader, both ways of reading it (tree and
// element sink), then through the writer and back. Besides crashes and
// sanitizer findings, it stops on any disagreement between the two readers.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/xml_element_sink.h"
#include "xml/xml_node.h"

namespace {

struct CountingSink : xml::XmlElementSink {
    size_t elements = 0;
    size_t characters = 0;
    uintptr_t OnElement(uintptr_t, const wchar_t* name, bool,
                        std::span<const xml::XmlAttribute> attributes) override {
        ++elements;
        characters += std::char_traits<wchar_t>::length(name);
        for (const xml::XmlAttribute& a : attributes) {
            characters += std::char_traits<wchar_t>::length(a.name);
            if (a.value)
                characters += std::char_traits<wchar_t>::length(a.value);
        }
        return elements;
    }
};

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Elements of the tree from `top` down (top included when named), reading
// every string and checking the lookups against the plain lists.
size_t CountElements(const xml::XmlNode& top) {
    size_t elements = 0;
    std::vector<xml::XmlNode> pending{top};
    while (!pending.empty()) {
        const xml::XmlNode n = pending.back();
        pending.pop_back();
        if (n.GetName())
            ++elements;
        for (int i = 0; i < n.AttributeCount(); ++i) {
            const xml::XmlAttribute a = n.AttributeAt(i);
            int first = 0;
            while (!xml::XmlNameEquals(n.AttributeAt(first).name, a.name)) ++first;
            Check(n.GetAttribute(a.name) == n.AttributeAt(first).value);
        }
        for (int i = 0; i < n.TextCount(); ++i) Check(n.TextAt(i)[0] != 0);
        for (int i = 0; i < n.ClearCount(); ++i) {
            const xml::XmlClearSection c = n.ClearAt(i);
            Check(c.value == nullptr || c.value[0] != 0);
        }
        Check(n.ContentCount() == n.ChildCount() + n.TextCount() + n.ClearCount());
        for (int i = 0; i < n.ChildCount(); ++i) {
            const xml::XmlNode child = n.ChildAt(i);
            Check(child.GetParent() == n);
            pending.push_back(child);
        }
    }
    return elements;
}

bool SameResult(const xml::XmlResult& a, const xml::XmlResult& b) {
    return a.error == b.error && a.line == b.line && a.column == b.column;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every byte one character: the markup characters are then easy to reach.
    const std::wstring text(data, data + size);

    xml::XmlResult tree;
    const xml::XmlNode node = xml::XmlNode::ParseString(text.c_str(), &tree);
    xml::XmlResult events;
    CountingSink sink;
    xml::ParseStringToSink(text.c_str(), sink, &events);
    Check(SameResult(tree, events));
    Check(node.IsEmpty() == xml::IsXmlFailure(tree.error));
    if (!node.IsEmpty()) {
        Check(CountElements(node) == sink.elements);
        const std::wstring written = node.ToString();
        xml::XmlResult again;
        xml::XmlNode::ParseString(written.c_str(), &again);
        Check(node.WriteFile(L"/dev/null") == xml::XmlError::kNone);
    }

    // The same bytes as the content of a file: encoding detection, UTF-16.
    xml::XmlResult fromBytes;
    const xml::XmlNode bytesNode = xml::XmlNode::ParseBytes(data, size, &fromBytes);
    xml::XmlResult bytesEvents;
    CountingSink bytesSink;
    xml::ParseBytesToSink(data, size, bytesSink, &bytesEvents);
    Check(SameResult(fromBytes, bytesEvents));
    if (!bytesNode.IsEmpty()) {
        Check(CountElements(bytesNode) == bytesSink.elements);
        bytesNode.ToString();
    }
    return 0;
}
