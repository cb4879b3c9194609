#pragma once
// The reader without the tree: the same parse as XmlNode::ParseString /
// ParseFile / ParseBytes, with every element, text and clear section handed
// to a sink in document order as the parser forms them. A reader that needs
// a few values out of a large document keeps only those.
//
// The result (code, line, column) is exactly what the tree-building call
// reports for the same input. On a failure (code 3 and above) the sink has
// seen part of the document and what it kept should be dropped.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "xml/xml_node.h"

namespace xml {

class XmlElementSink {
public:
    // The nameless root that the parse starts from.
    static constexpr uintptr_t kDocument = 0;

    virtual ~XmlElementSink() = default;

    // A new element, the last content item of `parent` so far. The returned
    // value is what the element's own content will name as its parent.
    virtual uintptr_t OnElement(uintptr_t parent, const wchar_t* name, bool isDeclaration,
                                std::span<const XmlAttribute> attributes) = 0;
    virtual void OnText(uintptr_t /*parent*/, const wchar_t* /*text*/) {}
    virtual void OnClear(uintptr_t /*parent*/, const XmlClearSection& /*section*/) {}
    // The comment last reported under `parent` is dropped and `text` is
    // appended to the text reported before it.
    virtual void OnTextMerged(uintptr_t /*parent*/, const wchar_t* /*text*/) {}
};

void ParseStringToSink(const wchar_t* text, XmlElementSink& sink, XmlResult* result);
void ParseFileToSink(const std::wstring& path, XmlElementSink& sink, XmlResult* result);
void ParseBytesToSink(const void* data, size_t size, XmlElementSink& sink, XmlResult* result);

}  // namespace xml
