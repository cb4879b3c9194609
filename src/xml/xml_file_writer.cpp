// The writer. One formatter turns a sequence of elements, texts and clear
// sections into the document's text; it writes either to a counted wide
// string (ToString, two passes: count, then fill), or through a fixed buffer
// to a UTF-16LE file (WriteFile, XmlFileWriter). Trees are walked with an
// explicit stack, so deep trees do not recurse.

#include "xml/xml_file_writer.h"

#include <algorithm>
#include <bit>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "platform/replacing_file.h"
#include "platform/text_conversion.h"
#include "xml/xml_node_data.h"

namespace xml {

using detail::XmlNodeData;

namespace {

constexpr wchar_t kDeclarationLine[] = L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n";

struct WideCounter {
    size_t n = 0;
    void Char(wchar_t) { ++n; }
    void Str(const wchar_t*, size_t len) { n += len; }
    void Tabs(size_t k) { n += k; }
};

struct WideFiller {
    wchar_t* p;
    void Char(wchar_t c) { *p++ = c; }
    void Str(const wchar_t* s, size_t len) {
        std::wmemcpy(p, s, len);
        p += len;
    }
    void Tabs(size_t k) { p = std::wmemset(p, L'\t', k) + k; }
};

// Streams UTF-16LE to a file through a fixed buffer, so that a large
// document needs no output buffer of its own size.
class Utf16Stream {
public:
    explicit Utf16Stream(platform::ReplacingFile& file) : file_(file) {}

    void Char(wchar_t c) {
        Ensure(2);
        Put(c);
    }
    void Str(const wchar_t* s, size_t len) {
        if (len <= 64) {  // names, numbers, tags: most of a document
            Ensure(2 * len);
            for (size_t i = 0; i < len; ++i) Put(s[i]);
            return;
        }
        while (len > 0) {
            const size_t chunk = std::min(len, kUnits / 2);
            Ensure(2 * chunk);
            // Text below U+10000 (nearly all) narrows unit for unit.
            uint32_t any = 0;
            for (size_t i = 0; i < chunk; ++i) any |= static_cast<uint32_t>(s[i]);
            if (any < 0x10000) {
                char16_t* out = buffer_ + used_;
                for (size_t i = 0; i < chunk; ++i)
                    out[i] = ToLittleEndian(static_cast<char16_t>(s[i]));
                used_ += chunk;
            } else {
                for (size_t i = 0; i < chunk; ++i) Put(s[i]);
            }
            s += chunk;
            len -= chunk;
        }
    }
    void Tabs(size_t k) {
        while (k > 0) {
            const size_t chunk = std::min(k, kUnits);
            Ensure(chunk);
            for (size_t i = 0; i < chunk; ++i) Unit(L'\t');
            k -= chunk;
        }
    }
    void Bytes(const uint8_t* b, size_t n) {
        Flush();
        file_.Write(b, n);
    }
    // Writes what is buffered; false when any write failed (the file has
    // the reason).
    bool Flush() {
        if (used_ > 0)
            file_.Write(buffer_, used_ * 2);
        used_ = 0;
        return file_.Error() == 0;
    }
    bool WriteFailed() const { return file_.Error() != 0; }
    bool ConversionFailed() const { return conversionFailed_; }

private:
    static constexpr size_t kUnits = 32768;

    static char16_t ToLittleEndian(char16_t u) {
        if constexpr (std::endian::native == std::endian::big) {
            return static_cast<char16_t>((u >> 8) | (u << 8));
        }
        return u;
    }
    void Ensure(size_t units) {
        if (used_ + units > kUnits)
            Flush();
    }
    void Unit(uint32_t u) { buffer_[used_++] = ToLittleEndian(static_cast<char16_t>(u)); }
    void Put(wchar_t c) {
        const auto u = static_cast<uint32_t>(c);
        if (u < 0x10000) {
            Unit(u);
        } else if (u <= 0x10FFFF) {
            const uint32_t v = u - 0x10000;
            Unit(0xD800 + (v >> 10));
            Unit(0xDC00 + (v & 0x3FF));
        } else {
            conversionFailed_ = true;  // no UTF-16 form; the caller reports it
        }
    }
    platform::ReplacingFile& file_;
    bool conversionFailed_ = false;
    size_t used_ = 0;  // in units
    char16_t buffer_[kUnits];
};

template <class Sink>
void Literal(Sink& s, const wchar_t* text) {
    s.Str(text, std::wcslen(text));
}

// The characters written as entities, and the NUL that ends the text.
constexpr uint64_t kEscapeMask =
    (1ull << '&') | (1ull << '<') | (1ull << '>') | (1ull << '"') | (1ull << '\'') | 1ull;

template <class Sink>
void Escaped(Sink& s, const wchar_t* text) {
    const wchar_t* run = text;
    for (const wchar_t* p = text;; ++p) {
        const auto c = static_cast<uint32_t>(*p);
        if (c >= 64 || !((kEscapeMask >> c) & 1))
            continue;
        s.Str(run, static_cast<size_t>(p - run));
        if (c == 0)
            return;
        switch (c) {
            case '&':
                s.Str(L"&amp;", 5);
                break;
            case '<':
                s.Str(L"&lt;", 4);
                break;
            case '>':
                s.Str(L"&gt;", 4);
                break;
            case '"':
                s.Str(L"&quot;", 6);
                break;
            default:
                s.Str(L"&apos;", 6);
                break;
        }
        run = p + 1;
    }
}

// The formatting rules, fed one event at a time. Whether an element closes
// in its start tag, on one line with its only text, or over several lines is
// known only from what follows its start tag, so the tag's end and a first
// text wait for the next event.
template <class Sink>
class Formatter {
public:
    explicit Formatter(Sink& sink) : s_(sink) {
        frames_.push_back({0, 0, 0, Kind::kRoot, State::kContent});
    }

    void StartElement(const wchar_t* name, const XmlAttribute* attrs, size_t n,
                      bool isDeclaration) {
        Frame& parent = frames_.back();
        BeginContent(parent);
        const size_t level = parent.kind == Kind::kOrdinary ? parent.level + 1 : parent.level;
        const size_t nameLen = std::wcslen(name);
        s_.Tabs(level);
        s_.Char(L'<');
        if (isDeclaration)
            s_.Char(L'?');
        s_.Str(name, nameLen);
        for (size_t i = 0; i < n; ++i) {
            if (!attrs[i].name || !*attrs[i].name)
                continue;
            s_.Char(L' ');
            Literal(s_, attrs[i].name);
            if (attrs[i].value) {
                s_.Str(L"=\"", 2);
                Escaped(s_, attrs[i].value);
                s_.Char(L'"');
            }
        }
        if (isDeclaration) {
            s_.Str(L"?>\n", 3);
            frames_.push_back({names_.size(), 0, level, Kind::kDeclaration, State::kContent});
        } else {
            frames_.push_back({names_.size(), nameLen, level, Kind::kOrdinary, State::kEmpty});
            names_.append(name, nameLen);
        }
    }

    void Text(const wchar_t* text) {
        Frame& f = frames_.back();
        if (f.kind == Kind::kOrdinary && f.state == State::kEmpty) {
            held_ = text;
            f.state = State::kHeldText;
            return;
        }
        BeginContent(f);
        s_.Tabs(f.level + 1);
        Escaped(s_, text);
        s_.Char(L'\n');
    }

    void Clear(const wchar_t* value, const wchar_t* openTag, const wchar_t* closeTag) {
        Frame& f = frames_.back();
        BeginContent(f);
        if (*openTag)
            s_.Tabs(f.level + 1);
        Literal(s_, openTag);
        if (value)
            Literal(s_, value);
        Literal(s_, closeTag);
        s_.Char(L'\n');
    }

    void EndElement() {
        if (frames_.size() == 1)
            return;  // nothing open
        const Frame f = frames_.back();
        frames_.pop_back();
        const wchar_t* name = names_.data() + f.nameAt;
        switch (f.kind) {
            case Kind::kDeclaration:
            case Kind::kRoot:
                break;  // a declaration has no end tag
            case Kind::kOrdinary:
                if (f.state == State::kEmpty) {
                    s_.Str(L"/>\n", 3);
                } else if (f.state == State::kHeldText) {
                    s_.Char(L'>');
                    Escaped(s_, held_.c_str());
                    s_.Str(L"</", 2);
                    s_.Str(name, f.nameLen);
                    s_.Str(L">\n", 2);
                } else {
                    s_.Tabs(f.level);
                    s_.Str(L"</", 2);
                    s_.Str(name, f.nameLen);
                    s_.Str(L">\n", 2);
                }
                break;
        }
        names_.resize(f.nameAt);
    }

    void EndAll() {
        while (frames_.size() > 1) EndElement();
    }

private:
    enum class Kind { kRoot, kDeclaration, kOrdinary };
    // kEmpty: the start tag still lacks its end; kHeldText: one text waits.
    enum class State { kEmpty, kHeldText, kContent };
    struct Frame {
        size_t nameAt;
        size_t nameLen;
        size_t level;
        Kind kind;
        State state;
    };

    // The element gets content beyond a single text: its start tag ends,
    // and a held text goes on a line of its own.
    void BeginContent(Frame& f) {
        if (f.state == State::kContent)
            return;
        s_.Str(L">\n", 2);
        if (f.state == State::kHeldText) {
            s_.Tabs(f.level + 1);
            Escaped(s_, held_.c_str());
            s_.Char(L'\n');
        }
        f.state = State::kContent;
    }

    Sink& s_;
    std::vector<Frame> frames_;  // the bottom one stands for the document itself
    std::wstring names_;         // names of the open elements, back to back
    std::wstring held_;
};

template <class Sink>
void WriteTree(const XmlNodeData* node, Sink& sink) {
    Formatter<Sink> out(sink);
    std::vector<XmlAttribute> attrs;
    struct Step {
        const XmlNodeData* node;
        size_t next;  // next content entry to write
    };
    std::vector<Step> stack;
    auto open = [&](const XmlNodeData* n) {
        if (n->hasName) {
            attrs.clear();
            for (size_t i = 0; i < n->attrCount; ++i)
                attrs.push_back({n->AttrName(i), n->AttrValue(i)});
            out.StartElement(n->Name(), attrs.data(), attrs.size(), n->isDeclaration);
        }
        stack.push_back({n, 0});
    };
    open(node);
    while (!stack.empty()) {
        Step& step = stack.back();
        const XmlNodeData* n = step.node;
        if (step.next == n->OrderCount()) {
            if (n->hasName)
                out.EndElement();
            stack.pop_back();
            continue;
        }
        const detail::Content& c = *n->content;
        const int entry = c.order[step.next++];
        const auto index = static_cast<size_t>(entry / 4);
        switch (entry % 4) {
            case detail::kOrderElement:
                open(c.children[index]);  // may move `step`; it is not used again
                break;
            case detail::kOrderText:
                out.Text(c.texts[index].c_str());
                break;
            case detail::kOrderClear: {
                const detail::ClearItem& item = c.clears[index];
                out.Clear(item.hasValue ? item.value.c_str() : nullptr, item.openTag.c_str(),
                          item.closeTag.c_str());
                break;
            }
        }
    }
}

// Whether the writer must add the declaration line: not when the node is a
// declaration itself, or a root whose first element is one.
bool NeedsDeclarationLine(const XmlNodeData* node) {
    if (node == nullptr)
        return true;
    if (node->isDeclaration)
        return false;
    if (!node->hasName && node->ChildCount() > 0 && node->content->children[0]->isDeclaration) {
        return false;
    }
    return true;
}

// Whether every string of the tree has a UTF-16 form.
bool FitsUtf16(const XmlNodeData* node) {
    std::vector<const XmlNodeData*> pending{node};
    while (!pending.empty()) {
        const XmlNodeData* d = pending.back();
        pending.pop_back();
        if (d->beyondUtf16)
            return false;
        if (d->content) {
            pending.insert(pending.end(), d->content->children.begin(), d->content->children.end());
        }
    }
    return true;
}

constexpr uint8_t kByteOrderMark[] = {0xFF, 0xFE};

constexpr wchar_t kNoUtf16Form[] = L"a character has no UTF-16 form";

}  // namespace

std::wstring XmlNode::ToString() const {
    if (!node_)
        return {};
    WideCounter counter;
    WriteTree(node_, counter);
    std::wstring out(counter.n, L'\0');
    WideFiller filler{out.data()};
    WriteTree(node_, filler);
    return out;
}

XmlError XmlNode::WriteFile(const std::wstring& path) const {
    return WriteFile(path, nullptr);
}

XmlError XmlNode::WriteFile(const std::wstring& path, std::wstring* reason) const {
    // A character beyond U+10FFFF cannot be stored; refuse before touching
    // the file rather than write one that reads back differently.
    if (node_ && !FitsUtf16(node_)) {
        if (reason)
            *reason = kNoUtf16Form;
        return XmlError::kConversionFailed;
    }
    platform::ReplacingFile file;
    if (!file.Open(platform::WideToUtf8(path))) {
        if (reason)
            *reason = SystemReason(file.Error());
        return XmlError::kCannotOpenForWriting;
    }
    Utf16Stream out(file);
    out.Bytes(kByteOrderMark, sizeof kByteOrderMark);
    if (NeedsDeclarationLine(node_))
        Literal(out, kDeclarationLine);
    if (node_)
        WriteTree(node_, out);
    out.Flush();
    if (!file.Commit()) {
        if (reason)
            *reason = SystemReason(file.Error());
        return XmlError::kCannotWrite;
    }
    if (reason)
        reason->clear();
    return XmlError::kNone;
}

struct XmlFileWriter::Impl {
    explicit Impl(std::unique_ptr<platform::ReplacingFile> f)
        : file(std::move(f)), stream(*file), formatter(stream) {}
    std::unique_ptr<platform::ReplacingFile> file;
    Utf16Stream stream;
    Formatter<Utf16Stream> formatter;
};

XmlFileWriter::XmlFileWriter() = default;

XmlFileWriter::~XmlFileWriter() {
    if (impl_)
        Close();
}

XmlError XmlFileWriter::Open(const std::wstring& path, bool declarationLine) {
    if (impl_)
        Close();
    reason_.clear();
    systemError_ = 0;
    auto file = std::make_unique<platform::ReplacingFile>();
    if (!file->Open(platform::WideToUtf8(path))) {
        systemError_ = file->Error();
        reason_ = SystemReason(systemError_);
        return XmlError::kCannotOpenForWriting;
    }
    impl_ = std::make_unique<Impl>(std::move(file));
    impl_->stream.Bytes(kByteOrderMark, sizeof kByteOrderMark);
    if (declarationLine)
        Literal(impl_->stream, kDeclarationLine);
    if (impl_->stream.WriteFailed()) {
        // Written beside the target, which stays as it was.
        systemError_ = impl_->file->Error();
        reason_ = SystemReason(systemError_);
        impl_.reset();
        return XmlError::kCannotWrite;
    }
    return XmlError::kNone;
}

void XmlFileWriter::StartElement(const wchar_t* name,
                                 std::initializer_list<XmlAttribute> attributes,
                                 bool isDeclaration) {
    StartElement(name, std::span<const XmlAttribute>(attributes.begin(), attributes.size()),
                 isDeclaration);
}

void XmlFileWriter::StartElement(const wchar_t* name, std::span<const XmlAttribute> attributes,
                                 bool isDeclaration) {
    if (!impl_ || !name)
        return;
    impl_->formatter.StartElement(name, attributes.data(), attributes.size(), isDeclaration);
}

void XmlFileWriter::AddText(const wchar_t* text) {
    if (impl_ && text)
        impl_->formatter.Text(text);
}

void XmlFileWriter::AddClear(const wchar_t* value, const wchar_t* openTag,
                             const wchar_t* closeTag) {
    if (!impl_)
        return;
    impl_->formatter.Clear(value && *value ? value : nullptr, openTag ? openTag : L"",
                           closeTag ? closeTag : L"");
}

void XmlFileWriter::EndElement() {
    if (impl_)
        impl_->formatter.EndElement();
}

int XmlFileWriter::Fd() const {
    return impl_ ? impl_->file->Fd() : -1;
}

XmlError XmlFileWriter::Close() {
    return Close(nullptr);
}

XmlError XmlFileWriter::Close(platform::UniqueFd* keep) {
    if (!impl_)
        return XmlError::kCannotWrite;
    impl_->formatter.EndAll();
    impl_->stream.Flush();
    std::unique_ptr<Impl> impl = std::move(impl_);
    if (impl->stream.ConversionFailed()) {
        impl->file->Abandon();
        systemError_ = 0;
        reason_ = kNoUtf16Form;
        return XmlError::kConversionFailed;
    }
    if (!impl->file->Commit(keep)) {
        systemError_ = impl->file->Error();
        reason_ = SystemReason(systemError_);
        return XmlError::kCannotWrite;
    }
    systemError_ = 0;
    reason_.clear();
    return XmlError::kNone;
}

}  // namespace xml
