#pragma once
// The node behind a XmlNode handle; private to the XML library.
//
// A chart file holds a million small elements, so an element is one piece of
// memory: the node and, behind it, a string area with the name and every
// attribute name and value. Attributes added later than the space allows
// move the strings to a heap block of their own. The nodes of one document
// come from one arena, which goes when the last of its nodes goes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace xml::detail {

struct ClearItem {
    std::wstring value;
    bool hasValue = false;
    std::wstring openTag;
    std::wstring closeTag;
};

// Only elements with content carry this, which keeps leaf elements small.
struct Content {
    std::vector<struct XmlNodeData*> children;  // each holds one reference
    std::vector<std::wstring> texts;
    std::vector<ClearItem> clears;
    std::vector<int> order;  // index * 4 + kind (0 element, 2 text, 3 clear)
};

inline constexpr int kOrderElement = 0;
inline constexpr int kOrderText = 2;
inline constexpr int kOrderClear = 3;

// Offsets into the node's characters; value == kNoValue for an attribute without one.
struct AttrSlot {
    size_t name;
    size_t value;
};
inline constexpr size_t kNoValue = SIZE_MAX;

// Bump allocation for the nodes of one document. Memory is not reused within
// an arena: documents only grow, and are dropped as a whole.
class NodeArena {
public:
    static NodeArena* Create() { return new NodeArena; }
    void* Allocate(size_t bytes);
    void AddNode() { ++liveNodes_; }
    // Frees the arena with its last node.
    void RemoveNode() {
        if (--liveNodes_ == 0)
            delete this;
    }

private:
    NodeArena() = default;
    ~NodeArena();
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;

    struct Chunk {
        Chunk* next;
    };
    Chunk* chunks_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    size_t nextChunk_ = 4096;
    size_t liveNodes_ = 0;
};

// Whether a character has a UTF-16 form (the files are UTF-16).
inline bool FitsUtf16(wchar_t c) {
    return static_cast<uint32_t>(c) <= 0x10FFFF;
}

struct XmlNodeData {
    int refCount = 0;  // handles plus the parent's reference
    bool hasName = false;
    bool isDeclaration = false;
    // Some string of this node has a character that UTF-16 cannot carry.
    bool beyondUtf16 = false;
    bool stringsOnHeap = false;
    XmlNodeData* parent = nullptr;  // not a counted reference
    NodeArena* arena = nullptr;
    std::unique_ptr<Content> content;
    AttrSlot* slots = nullptr;
    wchar_t* chars = nullptr;
    size_t attrCount = 0;
    size_t attrCapacity = 0;
    size_t charCount = 0;
    size_t charCapacity = 0;

    // A node with room for `attrs` attributes and `nChars` characters
    // (terminators included) in the same piece of memory. A null arena
    // starts a new document.
    static XmlNodeData* Create(NodeArena* arena, size_t attrs, size_t nChars);
    static void Destroy(XmlNodeData* node);

    // Stores the name; only on a node without strings yet.
    void SetName(const wchar_t* name, size_t len);
    // value null: an attribute without value.
    void AddAttr(const wchar_t* name, size_t nameLen, const wchar_t* value, size_t valueLen);

    const wchar_t* Name() const { return hasName ? chars : nullptr; }
    const wchar_t* AttrName(size_t i) const { return chars + slots[i].name; }
    const wchar_t* AttrValue(size_t i) const {
        return slots[i].value == kNoValue ? nullptr : chars + slots[i].value;
    }
    Content& GetContent() {
        if (!content)
            content = std::make_unique<Content>();
        return *content;
    }
    size_t ChildCount() const { return content ? content->children.size() : 0; }
    size_t OrderCount() const { return content ? content->order.size() : 0; }

private:
    XmlNodeData() = default;
    ~XmlNodeData() = default;
    void Reserve(size_t attrs, size_t nChars);
    size_t AppendChars(const wchar_t* s, size_t len);
};

// Drops one reference; frees the node and every descendant it alone kept,
// without recursion.
void Release(XmlNodeData* node);

// Appends a named child (not yet referenced by any handle); the parent holds
// it. Room for `attrs` attributes with `attrChars` characters is reserved.
XmlNodeData* AppendChild(XmlNodeData* parent, const wchar_t* name, size_t nameLen,
                         bool isDeclaration, size_t attrs = 0, size_t attrChars = 0);

void AppendText(XmlNodeData* node, std::wstring text);
void AppendClear(XmlNodeData* node, ClearItem item);

// Case-insensitive equality used for element and attribute names (ASCII
// letters fold, as in the C locale).
inline wchar_t FoldCase(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c;
}
bool NameEquals(const wchar_t* a, const wchar_t* b);

}  // namespace xml::detail
