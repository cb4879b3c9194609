#pragma once
// A small, forgiving XML reader and writer over wide text. A document is a
// tree of reference-counted nodes; XmlNode is a handle to one of them.
//
// Threads: the nodes of one document (one parse, or one CreateRoot and what
// was added to it, including nodes that outlive their parent) and all handles
// to them belong to one thread at a time; reference counts are not atomic.

#include <cstddef>
#include <initializer_list>
#include <string>

#include "xml/xml_error.h"

namespace xml {

namespace detail {
struct XmlNodeData;
}

struct XmlResult {
    XmlError error = XmlError::kNone;
    int line = 0;    // 1-based; 0 when there was nothing to report
    int column = 0;  // 1-based; 0 when there was nothing to report
    // Why a file could not be read (the system's text, or what is wrong with
    // its bytes); empty for failures of the markup and for success.
    std::wstring reason;
};

// An attribute as the node holds it; value is null for an attribute given
// without one. Both pointers stay valid while the node lives and gets no
// further attribute.
struct XmlAttribute {
    const wchar_t* name = nullptr;
    const wchar_t* value = nullptr;
};

// A raw section (CDATA, DOCTYPE, comment, PRE); value is null when empty.
struct XmlClearSection {
    const wchar_t* value = nullptr;
    const wchar_t* openTag = nullptr;
    const wchar_t* closeTag = nullptr;
};

// One entry of a node's content in document order.
enum class XmlContentKind : int { kElement = 0, kText = 2, kClear = 3 };
struct XmlContentItem {
    XmlContentKind kind = XmlContentKind::kElement;
    int index = 0;  // into the children, texts or clear sections
};

// Whether two element or attribute names are equal ignoring case, as every
// lookup by name compares them (ASCII letters fold, as in the C locale).
bool XmlNameEquals(const wchar_t* a, const wchar_t* b);

class XmlNode {
public:
    XmlNode() = default;  // empty handle
    XmlNode(const XmlNode& other);
    XmlNode(XmlNode&& other) noexcept;
    XmlNode& operator=(const XmlNode& other);
    XmlNode& operator=(XmlNode&& other) noexcept;
    ~XmlNode();

    static XmlNode CreateRoot();

    // Building. Each appends after all existing content; a null name adds nothing.
    XmlNode AddChild(const wchar_t* name, bool isDeclaration = false);
    // A child together with its attributes, stored in one allocation: the
    // way to build large documents. Attributes with a null name are skipped.
    XmlNode AddChild(const wchar_t* name, std::initializer_list<XmlAttribute> attributes);
    void AddAttribute(const wchar_t* name, const wchar_t* value);
    void AddText(const wchar_t* text);
    void AddClear(const wchar_t* value, const wchar_t* openTag = L"<![CDATA[",
                  const wchar_t* closeTag = L"]]>");

    bool IsEmpty() const { return node_ == nullptr; }
    const wchar_t* GetName() const;  // null for the root and for an empty handle
    bool IsDeclaration() const;
    XmlNode GetParent() const;

    int ChildCount() const;
    XmlNode ChildAt(int i) const;
    int AttributeCount() const;
    XmlAttribute AttributeAt(int i) const;
    int TextCount() const;
    const wchar_t* TextAt(int i) const;
    int ClearCount() const;
    XmlClearSection ClearAt(int i) const;
    int ContentCount() const;
    XmlContentItem ContentAt(int i) const;

    // Child number `index` among those named `name` (ignoring case); a negative
    // index gives the last one.
    XmlNode GetChild(const wchar_t* name, int index = 0) const;
    // First child named `name` at position *cursor or later; *cursor then
    // points just past it. Nothing found leaves *cursor as it was.
    XmlNode GetChildFrom(const wchar_t* name, int* cursor) const;
    // Value of the first attribute named `name` (ignoring case); null when
    // there is none or it has no value.
    const wchar_t* GetAttribute(const wchar_t* name) const;

    // The node as formatted text, one tab per level, line feeds as line ends.
    std::wstring ToString() const;
    // Byte-order mark, declaration line (unless the node brings its own) and
    // ToString() as UTF-16LE. An existing file is overwritten.
    XmlError WriteFile(const std::wstring& path) const;
    // The same; on a failure *reason (when given) says why, for
    // XmlFileErrorText.
    XmlError WriteFile(const std::wstring& path, std::wstring* reason) const;

    static XmlNode ParseString(const wchar_t* text, XmlResult* result);
    static XmlNode ParseFile(const std::wstring& path, XmlResult* result);
    // The file rules of ParseFile applied to bytes already in memory.
    static XmlNode ParseBytes(const void* data, size_t size, XmlResult* result);

    // Same node (or both empty).
    bool operator==(const XmlNode& other) const { return node_ == other.node_; }

private:
    template <class Ch>
    friend XmlNode ParseText(const Ch* text, XmlResult* result);

    explicit XmlNode(detail::XmlNodeData* node);  // adds a reference
    detail::XmlNodeData* node_ = nullptr;
};

}  // namespace xml
