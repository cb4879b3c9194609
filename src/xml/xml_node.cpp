#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace xml {

namespace detail {

namespace {

bool AllFitUtf16(const wchar_t* s, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        if (!FitsUtf16(s[i]))
            return false;
    }
    return true;
}

}  // namespace

NodeArena::~NodeArena() {
    while (chunks_) {
        Chunk* next = chunks_->next;
        ::operator delete(chunks_);
        chunks_ = next;
    }
}

void* NodeArena::Allocate(size_t bytes) {
    bytes = (bytes + 7) & ~size_t{7};
    if (static_cast<size_t>(end_ - cursor_) < bytes) {
        // Chunks grow with the document, up to a size that keeps the waste
        // at the end of a chunk small; a huge node gets a chunk of its own.
        const size_t size = std::max(nextChunk_, bytes + sizeof(Chunk));
        auto* chunk = static_cast<Chunk*>(::operator new(size));
        chunk->next = chunks_;
        chunks_ = chunk;
        cursor_ = reinterpret_cast<char*>(chunk) + sizeof(Chunk);
        end_ = reinterpret_cast<char*>(chunk) + size;
        nextChunk_ = std::min<size_t>(nextChunk_ * 2, 256 * 1024);
    }
    void* p = cursor_;
    cursor_ += bytes;
    return p;
}

XmlNodeData* XmlNodeData::Create(NodeArena* arena, size_t attrs, size_t nChars) {
    if (!arena)
        arena = NodeArena::Create();
    void* memory =
        arena->Allocate(sizeof(XmlNodeData) + attrs * sizeof(AttrSlot) + nChars * sizeof(wchar_t));
    auto* node = new (memory) XmlNodeData;
    node->arena = arena;
    arena->AddNode();
    node->slots = reinterpret_cast<AttrSlot*>(node + 1);
    node->chars = reinterpret_cast<wchar_t*>(node->slots + attrs);
    node->attrCapacity = attrs;
    node->charCapacity = nChars;
    return node;
}

void XmlNodeData::Destroy(XmlNodeData* node) {
    if (node->stringsOnHeap)
        ::operator delete(node->slots);
    NodeArena* arena = node->arena;
    node->~XmlNodeData();
    arena->RemoveNode();
}

void XmlNodeData::Reserve(size_t attrs, size_t nChars) {
    if (attrs <= attrCapacity && nChars <= charCapacity)
        return;
    // Grow geometrically so that adding attributes one by one stays linear.
    const size_t newAttrs =
        attrs <= attrCapacity ? attrCapacity : std::max(attrs, attrCapacity * 2);
    const size_t newChars =
        nChars <= charCapacity ? charCapacity : std::max(nChars, charCapacity * 2);
    void* block = ::operator new(newAttrs * sizeof(AttrSlot) + newChars * sizeof(wchar_t));
    auto* newSlots = static_cast<AttrSlot*>(block);
    auto* newCharsPtr = reinterpret_cast<wchar_t*>(newSlots + newAttrs);
    if (attrCount)
        std::memcpy(newSlots, slots, attrCount * sizeof(AttrSlot));
    if (charCount)
        std::wmemcpy(newCharsPtr, chars, charCount);
    if (stringsOnHeap)
        ::operator delete(slots);
    slots = newSlots;
    chars = newCharsPtr;
    attrCapacity = newAttrs;
    charCapacity = newChars;
    stringsOnHeap = true;
}

size_t XmlNodeData::AppendChars(const wchar_t* s, size_t len) {
    const size_t at = charCount;
    if (len)
        std::wmemcpy(chars + at, s, len);
    chars[at + len] = 0;
    charCount += len + 1;
    if (!beyondUtf16 && !AllFitUtf16(s, len))
        beyondUtf16 = true;
    return at;
}

void XmlNodeData::SetName(const wchar_t* name, size_t len) {
    Reserve(attrCount, charCount + len + 1);
    AppendChars(name, len);
    hasName = true;
}

void XmlNodeData::AddAttr(const wchar_t* name, size_t nameLen, const wchar_t* value,
                          size_t valueLen) {
    Reserve(attrCount + 1, charCount + nameLen + 1 + (value ? valueLen + 1 : 0));
    AttrSlot slot{AppendChars(name, nameLen), kNoValue};
    if (value)
        slot.value = AppendChars(value, valueLen);
    slots[attrCount++] = slot;
}

bool NameEquals(const wchar_t* a, const wchar_t* b) {
    for (;; ++a, ++b) {
        if (FoldCase(*a) != FoldCase(*b))
            return false;
        if (*a == 0)
            return true;
    }
}

void Release(XmlNodeData* node) {
    if (node == nullptr || --node->refCount > 0)
        return;
    // Nodes waiting to be freed are chained through their parent field (no
    // longer needed once a node is unreferenced), so a tree of any depth is
    // freed without recursion or extra memory.
    node->parent = nullptr;
    XmlNodeData* pending = node;
    while (pending != nullptr) {
        XmlNodeData* d = pending;
        pending = d->parent;
        if (d->content) {
            for (XmlNodeData* c : d->content->children) {
                if (--c->refCount == 0) {
                    c->parent = pending;
                    pending = c;
                } else {
                    c->parent = nullptr;  // survives through another handle, now without parent
                }
            }
        }
        XmlNodeData::Destroy(d);
    }
}

XmlNodeData* AppendChild(XmlNodeData* parent, const wchar_t* name, size_t nameLen,
                         bool isDeclaration, size_t attrs, size_t attrChars) {
    XmlNodeData* child = XmlNodeData::Create(parent->arena, attrs, nameLen + 1 + attrChars);
    child->SetName(name, nameLen);
    child->refCount = 1;
    child->isDeclaration = isDeclaration;
    child->parent = parent;
    Content& c = parent->GetContent();
    c.order.push_back(static_cast<int>(c.children.size()) * 4 + kOrderElement);
    c.children.push_back(child);
    return child;
}

void AppendText(XmlNodeData* node, std::wstring text) {
    if (!node->beyondUtf16 && !AllFitUtf16(text.data(), text.size()))
        node->beyondUtf16 = true;
    Content& c = node->GetContent();
    c.order.push_back(static_cast<int>(c.texts.size()) * 4 + kOrderText);
    c.texts.push_back(std::move(text));
}

void AppendClear(XmlNodeData* node, ClearItem item) {
    for (const std::wstring* s : {&item.value, &item.openTag, &item.closeTag}) {
        if (!node->beyondUtf16 && !AllFitUtf16(s->data(), s->size()))
            node->beyondUtf16 = true;
    }
    Content& c = node->GetContent();
    c.order.push_back(static_cast<int>(c.clears.size()) * 4 + kOrderClear);
    c.clears.push_back(std::move(item));
}

}  // namespace detail

using detail::XmlNodeData;

bool XmlNameEquals(const wchar_t* a, const wchar_t* b) {
    return a && b && detail::NameEquals(a, b);
}

XmlNode::XmlNode(XmlNodeData* node) : node_(node) {
    if (node_)
        ++node_->refCount;
}

XmlNode::XmlNode(const XmlNode& other) : node_(other.node_) {
    if (node_)
        ++node_->refCount;
}

XmlNode::XmlNode(XmlNode&& other) noexcept : node_(other.node_) {
    other.node_ = nullptr;
}

XmlNode& XmlNode::operator=(const XmlNode& other) {
    if (this == &other)
        return *this;
    if (other.node_)
        ++other.node_->refCount;
    detail::Release(node_);
    node_ = other.node_;
    return *this;
}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
    if (this != &other) {
        detail::Release(node_);
        node_ = other.node_;
        other.node_ = nullptr;
    }
    return *this;
}

XmlNode::~XmlNode() {
    detail::Release(node_);
}

XmlNode XmlNode::CreateRoot() {
    return XmlNode(XmlNodeData::Create(nullptr, 0, 0));  // the handle's reference is the only one
}

XmlNode XmlNode::AddChild(const wchar_t* name, bool isDeclaration) {
    if (!node_ || !name)
        return {};
    XmlNodeData* child = detail::AppendChild(node_, name, std::wcslen(name), isDeclaration);
    return XmlNode(child);
}

XmlNode XmlNode::AddChild(const wchar_t* name, std::initializer_list<XmlAttribute> attributes) {
    if (!node_ || !name)
        return {};
    size_t count = 0, chars = 0;
    for (const XmlAttribute& a : attributes) {
        if (!a.name)
            continue;
        ++count;
        chars += std::wcslen(a.name) + 1 + (a.value ? std::wcslen(a.value) + 1 : 0);
    }
    XmlNodeData* child = detail::AppendChild(node_, name, std::wcslen(name), false, count, chars);
    for (const XmlAttribute& a : attributes) {
        if (!a.name)
            continue;
        child->AddAttr(a.name, std::wcslen(a.name), a.value, a.value ? std::wcslen(a.value) : 0);
    }
    return XmlNode(child);
}

void XmlNode::AddAttribute(const wchar_t* name, const wchar_t* value) {
    if (!node_ || !name)
        return;
    node_->AddAttr(name, std::wcslen(name), value, value ? std::wcslen(value) : 0);
}

void XmlNode::AddText(const wchar_t* text) {
    if (!node_ || !text)
        return;
    detail::AppendText(node_, text);
}

void XmlNode::AddClear(const wchar_t* value, const wchar_t* openTag, const wchar_t* closeTag) {
    if (!node_)
        return;
    detail::ClearItem item;
    if (value && *value) {
        item.value = value;
        item.hasValue = true;
    }
    item.openTag = openTag ? openTag : L"";
    item.closeTag = closeTag ? closeTag : L"";
    detail::AppendClear(node_, std::move(item));
}

const wchar_t* XmlNode::GetName() const {
    return node_ ? node_->Name() : nullptr;
}

bool XmlNode::IsDeclaration() const {
    return node_ && node_->isDeclaration;
}

XmlNode XmlNode::GetParent() const {
    return node_ ? XmlNode(node_->parent) : XmlNode();
}

int XmlNode::ChildCount() const {
    return node_ ? static_cast<int>(node_->ChildCount()) : 0;
}

XmlNode XmlNode::ChildAt(int i) const {
    if (!node_ || i < 0 || static_cast<size_t>(i) >= node_->ChildCount())
        return {};
    return XmlNode(node_->content->children[static_cast<size_t>(i)]);
}

int XmlNode::AttributeCount() const {
    return node_ ? static_cast<int>(node_->attrCount) : 0;
}

XmlAttribute XmlNode::AttributeAt(int i) const {
    if (!node_ || i < 0 || static_cast<size_t>(i) >= node_->attrCount)
        return {};
    const auto k = static_cast<size_t>(i);
    return {node_->AttrName(k), node_->AttrValue(k)};
}

int XmlNode::TextCount() const {
    return node_ && node_->content ? static_cast<int>(node_->content->texts.size()) : 0;
}

const wchar_t* XmlNode::TextAt(int i) const {
    if (i < 0 || i >= TextCount())
        return nullptr;
    return node_->content->texts[static_cast<size_t>(i)].c_str();
}

int XmlNode::ClearCount() const {
    return node_ && node_->content ? static_cast<int>(node_->content->clears.size()) : 0;
}

XmlClearSection XmlNode::ClearAt(int i) const {
    if (i < 0 || i >= ClearCount())
        return {};
    const detail::ClearItem& c = node_->content->clears[static_cast<size_t>(i)];
    return {c.hasValue ? c.value.c_str() : nullptr, c.openTag.c_str(), c.closeTag.c_str()};
}

int XmlNode::ContentCount() const {
    return node_ ? static_cast<int>(node_->OrderCount()) : 0;
}

XmlContentItem XmlNode::ContentAt(int i) const {
    if (i < 0 || i >= ContentCount())
        return {};
    const int entry = node_->content->order[static_cast<size_t>(i)];
    return {static_cast<XmlContentKind>(entry % 4), entry / 4};
}

XmlNode XmlNode::GetChild(const wchar_t* name, int index) const {
    if (!node_ || !name || !node_->content)
        return {};
    XmlNodeData* last = nullptr;
    int seen = 0;
    for (XmlNodeData* c : node_->content->children) {
        if (!c->hasName || !detail::NameEquals(c->Name(), name))
            continue;
        if (index >= 0 && seen++ == index)
            return XmlNode(c);
        last = c;
    }
    return index < 0 && last ? XmlNode(last) : XmlNode();
}

XmlNode XmlNode::GetChildFrom(const wchar_t* name, int* cursor) const {
    if (!node_ || !name || !cursor || !node_->content)
        return {};
    const auto& children = node_->content->children;
    for (size_t i = *cursor < 0 ? 0 : static_cast<size_t>(*cursor); i < children.size(); ++i) {
        XmlNodeData* c = children[i];
        if (c->hasName && detail::NameEquals(c->Name(), name)) {
            *cursor = static_cast<int>(i + 1);
            return XmlNode(c);
        }
    }
    return {};
}

const wchar_t* XmlNode::GetAttribute(const wchar_t* name) const {
    if (!node_ || !name)
        return nullptr;
    for (size_t i = 0; i < node_->attrCount; ++i) {
        if (detail::NameEquals(node_->AttrName(i), name))
            return node_->AttrValue(i);
    }
    return nullptr;
}

}  // namespace xml
