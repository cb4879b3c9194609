// The reader: a tokenizer and an element parser that keeps its open elements
// on an explicit stack, so that nesting depth is bounded by memory, not by
// the thread's stack. It runs on wide text and, for UTF-16 files, directly
// on the file's code units, so a large file is never widened as a whole.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text_conversion.h"
#include "platform/unique_fd.h"
#include "xml/xml_element_sink.h"
#include "xml/xml_node.h"
#include "xml/xml_node_data.h"

namespace xml {

using detail::XmlNodeData;

namespace {

struct ClearTag {
    const wchar_t* open;
    size_t openLen;
    const wchar_t* close;
};

// Matched in this order at a "<", case-sensitively.
constexpr ClearTag kClearTags[] = {
    {L"<![CDATA[", 9, L"]]>"},
    {L"<!DOCTYPE", 9, L">"},
    {L"<!--", 4, L"-->"},
    {L"<PRE>", 5, L"</PRE>"},
};
constexpr int kDoctypeTag = 1;
constexpr int kCommentTag = 2;

struct Entity {
    const wchar_t* text;
    size_t len;
    wchar_t ch;
};

constexpr Entity kEntities[] = {
    {L"&amp;", 5, L'&'},  {L"&lt;", 4, L'<'},    {L"&gt;", 4, L'>'},
    {L"&quot;", 6, L'"'}, {L"&apos;", 6, L'\''},
};

template <class Ch>
inline bool IsSpace(Ch c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters that end a text token: NUL, white space, "<", "=", ">", and "/"
// (which ends it only before ">").
constexpr std::array<bool, 128> kEndsText = [] {
    std::array<bool, 128> t{};
    for (char c : {'\0', '\t', '\n', '\r', ' ', '<', '=', '>', '/'})
        t[static_cast<size_t>(c)] = true;
    return t;
}();

template <class Ch>
inline bool EndsText(Ch c) {
    const auto u = static_cast<uint32_t>(c);
    return u < 128 && kEndsText[u];
}

// ASCII letters fold, as names do in the C locale.
template <class Ch>
inline uint32_t FoldUnit(Ch c) {
    const auto u = static_cast<uint32_t>(c);
    return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

inline bool IsHighSurrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
inline bool IsLowSurrogate(uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Reads one character of UTF-16 text at p (a surrogate pair is one) and
// moves p past it. p must not be at the terminating NUL.
inline wchar_t ReadChar(const char16_t*& p) {
    const uint32_t u = *p++;
    if (IsHighSurrogate(u) && IsLowSurrogate(*p)) {
        return static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (*p++ - 0xDC00));
    }
    return static_cast<wchar_t>(u);  // a lone surrogate is kept as it is
}

// Appends [b, e) as wide text. Ranges never split a surrogate pair: their
// ends are ASCII delimiters.
inline void AppendWide(const wchar_t* b, const wchar_t* e, std::wstring& out) {
    out.append(b, e);
}
inline void AppendWide(const char16_t* b, const char16_t* e, std::wstring& out) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(e - b));  // a surrogate pair takes one place, not two
    wchar_t* w = out.data() + at;
    while (b < e) *w++ = ReadChar(b);
    out.resize(static_cast<size_t>(w - out.data()));
}

template <class Ch>
bool StartsWith(const Ch* p, const wchar_t* literal, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        if (static_cast<wchar_t>(p[i]) != literal[i])
            return false;  // also stops at the NUL
    }
    return true;
}

template <class Ch>
const Ch* FindLiteral(const Ch* p, const wchar_t* literal) {
    const size_t len = std::char_traits<wchar_t>::length(literal);
    for (; *p; ++p) {
        if (static_cast<wchar_t>(*p) == literal[0] && StartsWith(p, literal, len))
            return p;
    }
    return nullptr;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Appends [b, e) to out with entities and character references decoded.
// False on a reference outside the table or a malformed one. A reference that
// comes out as code 0 is refused too: no text can carry a NUL character.
template <class Ch>
bool DecodeEntities(const Ch* b, const Ch* e, std::wstring& out) {
    const Ch* amp = b;
    while (amp < e && *amp != '&') ++amp;
    AppendWide(b, amp, out);
    b = amp;
    while (b < e) {
        if (*b != '&') {
            const Ch* run = b;
            while (b < e && *b != '&') ++b;
            AppendWide(run, b, out);
            continue;
        }
        if (e - b >= 2 && b[1] == '#') {
            const Ch* p = b + 2;
            int base = 10;
            if (p < e && (*p == 'x' || *p == 'X')) {
                base = 16;
                ++p;
            }
            unsigned value = 0;
            int digits = 0;
            for (; p < e && *p != ';'; ++p, ++digits) {
                const auto c = static_cast<wchar_t>(*p);
                const int d = base == 16 ? HexDigit(c) : (c >= L'0' && c <= L'9' ? c - L'0' : -1);
                if (d < 0)
                    return false;
                value = (value * static_cast<unsigned>(base) + static_cast<unsigned>(d)) & 0xFFFF;
            }
            if (p == e || digits == 0 || value == 0)
                return false;
            out.push_back(static_cast<wchar_t>(value));
            b = p + 1;
            continue;
        }
        bool found = false;
        for (const Entity& ent : kEntities) {
            if (static_cast<size_t>(e - b) < ent.len)
                continue;
            size_t i = 0;
            while (i < ent.len && detail::FoldCase(static_cast<wchar_t>(b[i])) == ent.text[i]) ++i;
            if (i == ent.len) {
                out.push_back(ent.ch);
                b += ent.len;
                found = true;
                break;
            }
        }
        if (!found)
            return false;
    }
    return true;
}

// Attributes of the element being opened, decoded, each string
// NUL-terminated in one buffer.
struct PendingAttr {
    size_t nameAt;
    size_t valueAt;  // detail::kNoValue: no value
};

// What the parser knows of an open element; the builder keeps the rest.
enum class ItemKind : uint8_t { kNone, kElement, kText, kClear, kComment };

template <class Handle>
struct OpenElement {
    Handle node;
    const void* name;  // in the source text; null for the root
    size_t nameLen;
    bool isDeclaration;
    bool hasParent;
    ItemKind last;  // the last two content items, for the text merge rule
    ItemKind beforeLast;
};

// Builds the tree of XmlNode.
struct TreeBuilder {
    using Handle = XmlNodeData*;
    XmlNodeData* root;

    Handle Root() const { return root; }
    Handle AddElement(Handle parent, const std::wstring& name, bool isDeclaration,
                      const std::wstring& text, const std::vector<PendingAttr>& attrs) {
        size_t chars = 0;
        for (const PendingAttr& a : attrs) {
            chars += std::char_traits<wchar_t>::length(text.data() + a.nameAt) + 1;
            if (a.valueAt != detail::kNoValue) {
                chars += std::char_traits<wchar_t>::length(text.data() + a.valueAt) + 1;
            }
        }
        XmlNodeData* node = detail::AppendChild(parent, name.data(), name.size(), isDeclaration,
                                                attrs.size(), chars);
        for (const PendingAttr& a : attrs) {
            const wchar_t* n = text.data() + a.nameAt;
            const wchar_t* v = a.valueAt != detail::kNoValue ? text.data() + a.valueAt : nullptr;
            node->AddAttr(n, std::char_traits<wchar_t>::length(n), v,
                          v ? std::char_traits<wchar_t>::length(v) : 0);
        }
        return node;
    }
    void AddText(Handle node, const std::wstring& text) { detail::AppendText(node, text); }
    void AddClear(Handle node, detail::ClearItem&& item) {
        detail::AppendClear(node, std::move(item));
    }
    void MergeText(Handle node, const std::wstring& text) {
        detail::Content& c = *node->content;
        c.clears.pop_back();
        c.order.pop_back();
        c.texts.back() += text;
        for (wchar_t ch : text) {
            if (!detail::FitsUtf16(ch))
                node->beyondUtf16 = true;
        }
    }
    // The parser grows content in large steps; a closed element gives the slack back.
    void Closed(Handle node) {
        if (!node->content)
            return;
        detail::Content& c = *node->content;
        c.children.shrink_to_fit();
        c.texts.shrink_to_fit();
        c.clears.shrink_to_fit();
        c.order.shrink_to_fit();
    }
};

// Hands everything to an XmlElementSink.
struct SinkBuilder {
    using Handle = uintptr_t;
    XmlElementSink& sink;
    std::vector<XmlAttribute> views;

    Handle Root() const { return XmlElementSink::kDocument; }
    Handle AddElement(Handle parent, const std::wstring& name, bool isDeclaration,
                      const std::wstring& text, const std::vector<PendingAttr>& attrs) {
        views.clear();
        for (const PendingAttr& a : attrs) {
            views.push_back({text.data() + a.nameAt,
                             a.valueAt != detail::kNoValue ? text.data() + a.valueAt : nullptr});
        }
        return sink.OnElement(parent, name.c_str(), isDeclaration, views);
    }
    void AddText(Handle node, const std::wstring& text) { sink.OnText(node, text.c_str()); }
    void AddClear(Handle node, detail::ClearItem&& item) {
        sink.OnClear(node, {item.hasValue ? item.value.c_str() : nullptr, item.openTag.c_str(),
                            item.closeTag.c_str()});
    }
    void MergeText(Handle node, const std::wstring& text) { sink.OnTextMerged(node, text.c_str()); }
    void Closed(Handle) {}
};

template <class Ch, class Builder>
class Parser {
public:
    using Handle = typename Builder::Handle;

    Parser(const Ch* text, Builder& builder)
        : builder_(builder), pos_(text), tokStart_(text), mark_(text) {}

    // Runs the element parser on the root in content mode.
    void Run();

    XmlError Code() const { return error_ != XmlError::kNone ? error_ : warning_; }
    // Where the reported problem lies: the error, else the warning, else
    // where the parse stopped.
    const Ch* ReportPosition() const {
        if (error_ != XmlError::kNone)
            return errorPos_;
        if (warning_ != XmlError::kNone)
            return warnPos_;
        return pos_;
    }
    size_t RootChildren() const { return rootChildren_; }

private:
    enum class Tok {
        kEnd,
        kQuoted,
        kShortClose,
        kClear,
        kEndTag,
        kDeclTag,
        kStartTag,
        kEquals,
        kClose,
        kText
    };
    enum class Step { kContinue, kDone };
    // Where the reader is inside a start tag: kOff outside one; kName before
    // an attribute name or the tag's end; kAfterName after a name; kValue
    // after its "=".
    enum class AttrState { kOff, kName, kAfterName, kValue };
    using Open = OpenElement<Handle>;

    Tok Next();
    void Fail(XmlError code, const Ch* where) {
        error_ = code;
        errorPos_ = where;
    }
    void Warn(const Ch* where) {
        if (warning_ == XmlError::kNone) {
            warning_ = XmlError::kWarnUnmatchedEndTag;
            warnPos_ = where;
        }
    }
    static void Added(Open& o, ItemKind kind) {
        o.beforeLast = o.last;
        o.last = kind;
    }
    bool Matches(const Open& o, const Ch* at) const;
    bool FlushText(Open& o);
    bool ParseClear(Open& o);
    void AddPendingAttr(const Ch* name, size_t nameLen, const std::wstring* value);
    // One token inside a start tag; kDone when the parse is over.
    Step AttributeToken(Tok t);
    Step AttributeValue(Tok t);
    // Creates the element whose start tag is being read, with all its
    // attributes, under the innermost open element.
    Open CreatePending();
    // An element under the innermost open one returned closed: settles a
    // pending end tag, which may close open elements in turn. kDone when the
    // parse is over (also on error 6).
    Step Settle();

    Builder& builder_;
    const Ch* pos_;
    const Ch* tokStart_;
    const Ch* tokEnd_ = nullptr;  // end of a text or quoted token
    int clearIndex_ = 0;

    std::vector<Open> stack_;         // open elements, the root at the bottom
    const Ch* mark_;                  // where pending text may begin
    const Ch* pendingEnd_ = nullptr;  // name of an end tag that closed the wrong element
    size_t rootChildren_ = 0;

    // The element whose start tag is being read.
    const Ch* elemName_ = nullptr;
    size_t elemNameLen_ = 0;
    bool elemDecl_ = false;
    AttrState attrState_ = AttrState::kOff;
    const Ch* attrName_ = nullptr;  // the attribute name read last
    size_t attrNameLen_ = 0;
    std::vector<PendingAttr> attrs_;
    std::wstring attrText_;
    std::wstring scratch_;
    std::wstring name_;

    XmlError error_ = XmlError::kNone;
    const Ch* errorPos_ = nullptr;
    XmlError warning_ = XmlError::kNone;
    const Ch* warnPos_ = nullptr;
};

template <class Ch, class Builder>
typename Parser<Ch, Builder>::Tok Parser<Ch, Builder>::Next() {
    while (IsSpace(*pos_)) ++pos_;
    tokStart_ = pos_;
    const Ch c = *pos_;
    switch (c) {
        case 0:
            return Tok::kEnd;
        case '"':
        case '\'': {
            const Ch* q = pos_ + 1;
            while (*q != c && *q != '<' && *q != 0) ++q;
            if (*q == c) {
                pos_ = q + 1;
                tokEnd_ = pos_;
                return Tok::kQuoted;
            }
            break;  // no closing quote: the quote starts ordinary text
        }
        case '/':
            if (pos_[1] == '>') {
                pos_ += 2;
                return Tok::kShortClose;
            }
            break;
        case '<':
            if (pos_[1] == '!' || pos_[1] == 'P') {
                for (int i = 0; i < static_cast<int>(std::size(kClearTags)); ++i) {
                    if (StartsWith(pos_, kClearTags[i].open, kClearTags[i].openLen)) {
                        pos_ += kClearTags[i].openLen;
                        clearIndex_ = i;
                        return Tok::kClear;
                    }
                }
            }
            if (pos_[1] == '/') {
                pos_ += 2;
                return Tok::kEndTag;
            }
            if (pos_[1] == '?') {
                pos_ += 2;
                return Tok::kDeclTag;
            }
            ++pos_;
            return Tok::kStartTag;
        case '=':
            ++pos_;
            return Tok::kEquals;
        case '>':
            ++pos_;
            return Tok::kClose;
        default:
            break;
    }
    const Ch* q = pos_;
    for (;; ++q) {
        if (!EndsText(*q))
            continue;
        if (*q != '/' || q[1] == '>')
            break;
    }
    tokEnd_ = q;
    pos_ = IsSpace(*q) ? q + 1 : q;
    return Tok::kText;
}

// An element's name matches the text at `at` when it equals it ignoring case
// and the character after it there ends a name. Names are compared in the
// source text: only ASCII letters fold, so code units compare like characters.
template <class Ch, class Builder>
bool Parser<Ch, Builder>::Matches(const Open& o, const Ch* at) const {
    if (o.name == nullptr)
        return false;
    const auto* name = static_cast<const Ch*>(o.name);
    for (size_t i = 0; i < o.nameLen; ++i, ++at) {
        if (*at == 0 || FoldUnit(*at) != FoldUnit(name[i]))
            return false;
    }
    const Ch after = *at;
    return IsSpace(after) || after == '/' || after == '<' || after == '=' || after == '>';
}

template <class Ch, class Builder>
bool Parser<Ch, Builder>::FlushText(Open& o) {
    const Ch* b = mark_;
    const Ch* e = tokStart_;
    while (b < e && IsSpace(*b)) ++b;
    while (e > b && IsSpace(e[-1])) --e;
    if (b == e)
        return true;
    scratch_.clear();
    if (!DecodeEntities(b, e, scratch_)) {
        Fail(XmlError::kUnknownCharacterEntity, b);
        return false;
    }
    // A comment between two texts does not split them: the comment goes and
    // the texts become one.
    if (o.last == ItemKind::kComment && o.beforeLast == ItemKind::kText) {
        builder_.MergeText(o.node, scratch_);
        o.last = ItemKind::kText;
        o.beforeLast = ItemKind::kNone;
        return true;
    }
    builder_.AddText(o.node, scratch_);
    Added(o, ItemKind::kText);
    return true;
}

template <class Ch, class Builder>
bool Parser<Ch, Builder>::ParseClear(Open& o) {
    const Ch* sectionStart = tokStart_;
    const ClearTag& tag = kClearTags[clearIndex_];
    const wchar_t* closeTag = tag.close;
    const Ch* end;
    if (clearIndex_ == kDoctypeTag) {
        // An internal subset ("<!DOCTYPE x [ <!ENTITY ...> ]>") holds ">"
        // characters of its own; the section then ends at "]>".
        end = pos_;
        while (*end && *end != '<' && *end != '>') ++end;
        if (*end == '<') {
            closeTag = L"]>";
            end = FindLiteral(pos_, closeTag);
        } else if (*end == 0) {
            end = nullptr;
        }
    } else {
        end = FindLiteral(pos_, closeTag);
    }
    if (end == nullptr) {
        Fail(XmlError::kUnmatchedClearTagEnd, sectionStart);
        return false;
    }
    detail::ClearItem item;
    if (end > pos_) {
        AppendWide(pos_, end, item.value);
        item.hasValue = true;
    }
    item.openTag = tag.open;
    item.closeTag = closeTag;
    builder_.AddClear(o.node, std::move(item));
    Added(o, clearIndex_ == kCommentTag ? ItemKind::kComment : ItemKind::kClear);
    pos_ = end + std::char_traits<wchar_t>::length(closeTag);
    mark_ = pos_;
    return true;
}

template <class Ch, class Builder>
void Parser<Ch, Builder>::AddPendingAttr(const Ch* name, size_t nameLen,
                                         const std::wstring* value) {
    PendingAttr a{attrText_.size(), detail::kNoValue};
    AppendWide(name, name + nameLen, attrText_);
    attrText_.push_back(0);
    if (value) {
        a.valueAt = attrText_.size();
        attrText_ += *value;
        attrText_.push_back(0);
    }
    attrs_.push_back(a);
}

template <class Ch, class Builder>
typename Parser<Ch, Builder>::Open Parser<Ch, Builder>::CreatePending() {
    name_.clear();
    AppendWide(elemName_, elemName_ + elemNameLen_, name_);
    Open& parent = stack_.back();
    Handle node = builder_.AddElement(parent.node, name_, elemDecl_, attrText_, attrs_);
    Added(parent, ItemKind::kElement);
    if (stack_.size() == 1)
        ++rootChildren_;
    attrs_.clear();
    attrText_.clear();
    return Open{node, elemName_, elemNameLen_, elemDecl_, true, ItemKind::kNone, ItemKind::kNone};
}

template <class Ch, class Builder>
typename Parser<Ch, Builder>::Step Parser<Ch, Builder>::Settle() {
    while (!stack_.empty()) {
        const Open& o = stack_.back();
        if (pendingEnd_ == nullptr) {
            mark_ = pos_;
            return Step::kContinue;
        }
        if (stack_.size() == 1) {  // the root cannot take the end tag
            Fail(XmlError::kUnmatchedEndTag, pos_);
            return Step::kDone;
        }
        // One end tag may close several open elements, up to the one it names.
        if (Matches(o, pendingEnd_))
            pendingEnd_ = nullptr;
        builder_.Closed(o.node);
        stack_.pop_back();
    }
    return Step::kDone;
}

template <class Ch, class Builder>
typename Parser<Ch, Builder>::Step Parser<Ch, Builder>::AttributeToken(Tok t) {
    switch (attrState_) {
        case AttrState::kName:
            if (t == Tok::kText) {
                attrName_ = tokStart_;
                attrNameLen_ = static_cast<size_t>(tokEnd_ - tokStart_);
                attrState_ = AttrState::kAfterName;
            } else if (t == Tok::kClose) {
                stack_.push_back(CreatePending());
                attrState_ = AttrState::kOff;
                mark_ = pos_;
            } else if (t == Tok::kShortClose) {
                CreatePending();
                attrState_ = AttrState::kOff;
                return Settle();
            } else {
                CreatePending();
                Fail(XmlError::kUnexpectedToken, tokStart_);
                return Step::kDone;
            }
            return Step::kContinue;
        case AttrState::kAfterName:
            if (t == Tok::kText) {
                AddPendingAttr(attrName_, attrNameLen_, nullptr);
                attrName_ = tokStart_;
                attrNameLen_ = static_cast<size_t>(tokEnd_ - tokStart_);
            } else if (t == Tok::kEquals) {
                attrState_ = AttrState::kValue;
            } else if (t == Tok::kClose || t == Tok::kShortClose) {
                bool shortClose = t == Tok::kShortClose;
                if (elemDecl_) {
                    // "<?xml version=1.0 standalone ?>": the "?" of "?>" is no name.
                    if (attrName_[attrNameLen_ - 1] == '?')
                        --attrNameLen_;
                    if (stack_.back().hasParent)
                        shortClose = true;
                }
                if (attrNameLen_ > 0)
                    AddPendingAttr(attrName_, attrNameLen_, nullptr);
                Open created = CreatePending();
                attrState_ = AttrState::kOff;
                if (shortClose)
                    return Settle();
                stack_.push_back(created);
                mark_ = pos_;
            } else {
                CreatePending();
                Fail(XmlError::kUnexpectedToken, tokStart_);
                return Step::kDone;
            }
            return Step::kContinue;
        case AttrState::kValue:
            return AttributeValue(t);
        case AttrState::kOff:
            break;
    }
    return Step::kContinue;
}

template <class Ch, class Builder>
typename Parser<Ch, Builder>::Step Parser<Ch, Builder>::AttributeValue(Tok t) {
    if (t != Tok::kText && t != Tok::kQuoted) {
        CreatePending();
        Fail(XmlError::kUnexpectedToken, tokStart_);
        return Step::kDone;
    }
    const Ch* vb = tokStart_;
    const Ch* ve = tokEnd_;
    if (elemDecl_ && ve[-1] == '?')
        --ve;
    if (t == Tok::kQuoted) {
        ++vb;
        --ve;
    }
    scratch_.clear();
    if (!DecodeEntities(vb, ve, scratch_)) {
        CreatePending();
        Fail(XmlError::kUnknownCharacterEntity, tokStart_);
        return Step::kDone;
    }
    AddPendingAttr(attrName_, attrNameLen_, &scratch_);
    attrState_ = AttrState::kName;
    return Step::kContinue;
}

template <class Ch, class Builder>
void Parser<Ch, Builder>::Run() {
    stack_.push_back(
        Open{builder_.Root(), nullptr, 0, false, false, ItemKind::kNone, ItemKind::kNone});
    for (;;) {
        const Tok t = Next();

        if (attrState_ != AttrState::kOff) {
            if (AttributeToken(t) == Step::kDone)
                return;
            continue;
        }

        Open& o = stack_.back();
        switch (t) {
            case Tok::kStartTag:
            case Tok::kDeclTag:
                if (!FlushText(o))
                    return;
                if (Next() != Tok::kText)
                    return Fail(XmlError::kMissingStartTagName, tokStart_);
                elemName_ = tokStart_;
                elemNameLen_ = static_cast<size_t>(tokEnd_ - tokStart_);
                elemDecl_ = t == Tok::kDeclTag;
                attrState_ = AttrState::kName;
                break;
            case Tok::kEndTag: {
                if (!FlushText(o))
                    return;
                if (Next() != Tok::kText)
                    return Fail(XmlError::kMissingEndTagName, tokStart_);
                const Ch* name = tokStart_;
                if (Next() != Tok::kClose)
                    return Fail(XmlError::kMissingEndTagName, tokStart_);
                builder_.Closed(o.node);
                if (!Matches(o, name)) {
                    Warn(pos_);
                    pendingEnd_ = name;
                }
                stack_.pop_back();
                if (Settle() == Step::kDone)
                    return;
                break;
            }
            case Tok::kClear:
                if (!FlushText(o) || !ParseClear(o))
                    return;
                break;
            case Tok::kEnd:
                if (o.name != nullptr && !o.isDeclaration && o.hasParent)
                    Warn(pos_);
                FlushText(o);
                return;
            default:
                break;  // part of the pending text
        }
    }
}

// Line and column of `at`: line feeds start lines; every other character
// (a surrogate pair is one) moves one column.
template <class Ch>
void SetPosition(const Ch* text, const Ch* at, XmlResult* result) {
    int line = 1, column = 1;
    for (const Ch* p = text; p < at && *p; ++p) {
        if (*p == '\n') {
            ++line;
            column = 1;
        } else if (!(sizeof(Ch) == 2 && IsLowSurrogate(*p) && p > text && IsHighSurrogate(p[-1]))) {
            ++column;
        }
    }
    result->line = line;
    result->column = column;
}

void SetResult(XmlResult* result, XmlError code, std::wstring reason = {}) {
    if (result)
        *result = XmlResult{code, 0, 0, std::move(reason)};
}

}  // namespace

// Shared by ParseString and the file readers; text is NUL-terminated.
template <class Ch>
XmlNode ParseText(const Ch* text, XmlResult* result) {
    XmlNode root = XmlNode::CreateRoot();
    XmlNodeData* r = root.node_;
    TreeBuilder builder{r};
    Parser<Ch, TreeBuilder> parser(text, builder);
    parser.Run();

    const XmlError code = parser.RootChildren() > 0 ? parser.Code() : XmlError::kWarnNoXmlTag;
    if (result) {
        *result = XmlResult{code, 0, 0, {}};
        if (code != XmlError::kNone)
            SetPosition(text, parser.ReportPosition(), result);
    }
    if (IsXmlFailure(code))
        return {};
    if (r->ChildCount() == 1 && r->content->texts.empty() && r->content->clears.empty() &&
        r->attrCount == 0) {
        return root.ChildAt(0);  // the root goes; its only child stays, now without parent
    }
    return root;
}

namespace {

template <class Ch>
void ParseTextToSink(const Ch* text, XmlElementSink& sink, XmlResult* result) {
    SinkBuilder builder{sink, {}};
    Parser<Ch, SinkBuilder> parser(text, builder);
    parser.Run();
    const XmlError code = parser.RootChildren() > 0 ? parser.Code() : XmlError::kWarnNoXmlTag;
    if (result) {
        *result = XmlResult{code, 0, 0, {}};
        if (code != XmlError::kNone)
            SetPosition(text, parser.ReportPosition(), result);
    }
}

// Turns UTF-16LE code units, read as bytes into host char16_t, into host order.
void LittleEndianUnitsToHost(char16_t* units, size_t n) {
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < n; ++i) {
            units[i] = static_cast<char16_t>((units[i] >> 8) | (units[i] << 8));
        }
    } else {
        (void)units;
        (void)n;
    }
}

bool HasUtf16Mark(const uint8_t* b, size_t size) {
    return size >= 2 && b[0] == 0xFF && b[1] == 0xFE;
}
bool HasUtf8Mark(const uint8_t* b, size_t size) {
    return size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
}

// Why bytes taken for text could not be read as such.
constexpr wchar_t kOddUtf16[] =
    L"the file ends in the middle of a UTF-16 character (is it cut short?)";
constexpr wchar_t kNotUtf8[] = L"the text is not valid UTF-8";

// The 8-bit forms of a file: UTF-8 after its mark, else the system code page.
XmlError WidenEightBit(const uint8_t* bytes, size_t size, std::wstring& text,
                       std::wstring& reason) {
    const size_t skip = HasUtf8Mark(bytes, size) ? 3 : 0;
    const std::string_view view(reinterpret_cast<const char*>(bytes) + skip, size - skip);
    const bool ok = skip ? platform::Utf8ToWide(view, text) : platform::CodePageToWide(view, text);
    if (ok)
        return XmlError::kNone;
    reason = kNotUtf8;  // the system code page is UTF-8 as well
    return XmlError::kConversionFailed;
}

// Applies the file rules to bytes in memory and calls parse(text) with
// NUL-terminated text: UTF-16 code units, or wide text for 8-bit files. A
// code other than kNone means the bytes could not be read as text; `reason`
// then says why where the code alone does not.
template <class Parse>
XmlError WithBytesText(const void* data, size_t size, std::wstring& reason, Parse&& parse) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size == 0)
        return XmlError::kNoXmlData;
    if (platform::IsTextUnicode(bytes, size)) {
        const size_t skip = HasUtf16Mark(bytes, size) ? 2 : 0;
        if ((size - skip) % 2 != 0) {
            reason = kOddUtf16;
            return XmlError::kConversionFailed;
        }
        std::u16string text((size - skip) / 2, u'\0');
        std::memcpy(text.data(), bytes + skip, size - skip);
        LittleEndianUnitsToHost(text.data(), text.size());
        parse(text.c_str());
        return XmlError::kNone;
    }
    std::wstring text;
    const XmlError code = WidenEightBit(bytes, size, text, reason);
    if (code != XmlError::kNone)
        return code;
    parse(text.c_str());
    return XmlError::kNone;
}

// What may be read at all: a regular file within the size limit. Devices,
// pipes and directories never end or never start, so they are refused before
// a byte is read.
XmlError CheckReadable(int fd, struct stat& st, std::wstring& reason) {
    if (::fstat(fd, &st) != 0) {
        reason = SystemReason(errno);
        return XmlError::kFileNotFound;
    }
    if (!S_ISREG(st.st_mode))
        return XmlError::kNotARegularFile;
    if (static_cast<unsigned long long>(st.st_size) > kMaxXmlFileBytes) {
        return XmlError::kFileTooLarge;
    }
    return XmlError::kNone;
}

// The same for a file, read into code units so that a UTF-16 file is parsed
// where it lies.
template <class Parse>
XmlError WithFileText(const std::wstring& path, std::wstring& reason, Parse&& parse) {
    // Non-blocking, so that opening a pipe without a writer returns at once
    // and is then refused as not a regular file.
    const platform::UniqueFd file(
        ::open(platform::WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    const int fd = file.Get();
    if (fd < 0) {
        reason = SystemReason(errno);
        return XmlError::kFileNotFound;
    }
    struct stat st {};
    if (const XmlError refused = CheckReadable(fd, st, reason); refused != XmlError::kNone)
        return refused;
    // A buffer of the file's size plus one byte sees the end at once; files
    // that grow or report no size (those under /proc) take the growing path,
    // up to the limit.
    size_t capacity = st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536;
    // Two units beyond the capacity leave room for the terminating NUL.
    std::unique_ptr<char16_t[]> units(new char16_t[capacity / 2 + 2]);
    // One byte beyond the limit tells a file that grew too large while read.
    constexpr size_t kReadLimit = static_cast<size_t>(kMaxXmlFileBytes) + 1;
    size_t length = 0;
    int failed = 0;
    for (;;) {
        if (length == capacity) {
            if (capacity >= kReadLimit)
                return XmlError::kFileTooLarge;
            const size_t grown = std::min(capacity * 2, kReadLimit);
            std::unique_ptr<char16_t[]> bigger(new char16_t[grown / 2 + 2]);
            std::memcpy(bigger.get(), units.get(), length);
            units = std::move(bigger);
            capacity = grown;
        }
        auto* bytes = reinterpret_cast<unsigned char*>(units.get());
        const ssize_t n = ::read(fd, bytes + length, capacity - length);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = errno;
            break;
        }
        length += static_cast<size_t>(n);
    }
    if (failed != 0) {
        reason = SystemReason(failed);
        return XmlError::kFileNotFound;
    }
    if (length == 0)
        return XmlError::kNoXmlData;
    const auto* bytes = reinterpret_cast<const uint8_t*>(units.get());
    if (platform::IsTextUnicode(bytes, length)) {
        if (length % 2 != 0) {
            reason = kOddUtf16;
            return XmlError::kConversionFailed;
        }
        const size_t n = length / 2;
        units[n] = 0;
        LittleEndianUnitsToHost(units.get(), n);
        parse(static_cast<const char16_t*>(units.get() + (HasUtf16Mark(bytes, length) ? 1 : 0)));
        return XmlError::kNone;
    }
    std::wstring text;
    const XmlError code = WidenEightBit(bytes, length, text, reason);
    units.reset();  // the bytes are not needed while the document is read
    if (code != XmlError::kNone)
        return code;
    parse(static_cast<const wchar_t*>(text.c_str()));
    return XmlError::kNone;
}

}  // namespace

namespace {

// Nothing is thrown out of the reader: running out of memory on a large
// document becomes a code like every other failure.
template <class Read>
XmlError Guarded(Read&& read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return XmlError::kOutOfMemory;
    } catch (const std::length_error&) {
        return XmlError::kOutOfMemory;
    }
}

}  // namespace

XmlNode XmlNode::ParseString(const wchar_t* text, XmlResult* result) {
    XmlNode node;
    const XmlError code = Guarded([&] {
        node = ParseText(text ? text : L"", result);
        return XmlError::kNone;
    });
    if (code != XmlError::kNone)
        SetResult(result, code);
    return node;
}

XmlNode XmlNode::ParseBytes(const void* data, size_t size, XmlResult* result) {
    XmlNode node;
    std::wstring reason;
    const XmlError code = Guarded([&] {
        return WithBytesText(data, size, reason,
                             [&](const auto* text) { node = ParseText(text, result); });
    });
    if (code != XmlError::kNone) {
        node = XmlNode();
        SetResult(result, code, std::move(reason));
    }
    return node;
}

XmlNode XmlNode::ParseFile(const std::wstring& path, XmlResult* result) {
    XmlNode node;
    std::wstring reason;
    const XmlError code = Guarded([&] {
        return WithFileText(path, reason,
                            [&](const auto* text) { node = ParseText(text, result); });
    });
    if (code != XmlError::kNone) {
        node = XmlNode();
        SetResult(result, code, std::move(reason));
    }
    return node;
}

void ParseStringToSink(const wchar_t* text, XmlElementSink& sink, XmlResult* result) {
    const XmlError code = Guarded([&] {
        ParseTextToSink(text ? text : L"", sink, result);
        return XmlError::kNone;
    });
    if (code != XmlError::kNone)
        SetResult(result, code);
}

void ParseBytesToSink(const void* data, size_t size, XmlElementSink& sink, XmlResult* result) {
    std::wstring reason;
    const XmlError code = Guarded([&] {
        return WithBytesText(data, size, reason,
                             [&](const auto* text) { ParseTextToSink(text, sink, result); });
    });
    if (code != XmlError::kNone)
        SetResult(result, code, std::move(reason));
}

void ParseFileToSink(const std::wstring& path, XmlElementSink& sink, XmlResult* result) {
    std::wstring reason;
    const XmlError code = Guarded([&] {
        return WithFileText(path, reason,
                            [&](const auto* text) { ParseTextToSink(text, sink, result); });
    });
    if (code != XmlError::kNone)
        SetResult(result, code, std::move(reason));
}

}  // namespace xml
