// The writer. One formatter turns a sequence of elements, texts and clear
// sections into the document's text; it writes either to a counted wide
// string (ToString, two passes: count, then fill), or through a fixed buffer
// to a UTF-16LE file (WriteFile, CXmlFileWriter). Trees are walked with an
// explicit stack, so deep trees do not recurse.

#include "xml/xml_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

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
    explicit Utf16Stream(int fd) : fd_(fd) {}

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
        if (!writeFailed_)
            writeFailed_ = !WriteAll(b, n);
    }
    // Writes what is buffered; false when any write failed.
    bool Flush() {
        if (used_ > 0 && !writeFailed_) {
            writeFailed_ = !WriteAll(reinterpret_cast<const uint8_t*>(buffer_), used_ * 2);
        }
        used_ = 0;
        return !writeFailed_;
    }
    bool WriteFailed() const { return writeFailed_; }
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
    bool WriteAll(const uint8_t* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    int fd_;
    bool writeFailed_ = false;
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

// A save goes to a temporary file beside the target and is renamed over it
// only once everything is written, so a full disk or an I/O error leaves the
// old file as it was. A symbolic link is followed, so that the link stays and
// its destination is replaced; the old file's permission bits are kept.
// Targets that are not regular files (devices, pipes), and regular files in
// a folder where no temporary file can be made, are written in place.
class FileTarget {
public:
    ~FileTarget() { Abandon(); }

    bool Open(const std::wstring& path) {
        final_ = platform::WideToUtf8(path);
        struct stat st;
        const bool exists = ::stat(final_.c_str(), &st) == 0;
        if (exists && S_ISREG(st.st_mode)) {
            if (char* real = ::realpath(final_.c_str(), nullptr)) {
                final_ = real;
                std::free(real);
            }
        }
        // Opening an existing target first keeps the old answers to "may this
        // be written at all?" (read-only file, directory). A missing target is
        // not created here: until the rename, a reader (or a program killed
        // now) must find either no file or the whole of it, never an empty one.
        int probe = -1;
        if (exists) {
            probe = ::open(final_.c_str(), O_WRONLY | O_CLOEXEC);
            if (probe < 0)
                return false;
            if (!S_ISREG(st.st_mode)) {
                fd_ = probe;  // a device or pipe: written in place, as it stands
                return true;
            }
        }
        std::string tmp;
        fd_ = CreateTemp(final_, tmp);
        if (fd_ < 0) {
            if (probe < 0) {
                probe = ::open(final_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
                if (probe < 0)
                    return false;
                createdEmpty_ = true;
            }
            fd_ = probe;
            // A file that cannot be emptied would keep the old tail behind
            // a shorter document.
            if (::ftruncate(probe, 0) != 0) {
                Abandon();
                return false;
            }
            return true;
        }
        if (probe >= 0)
            ::close(probe);
        temp_ = std::move(tmp);
        if (exists)
            ::fchmod(fd_, st.st_mode & 07777);
        return true;
    }

    int Fd() const { return fd_; }

    // Closes and puts the file in place; on any failure the old file stays.
    bool Commit(bool written) {
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!written || !closed) {
            Abandon();
            return false;
        }
        if (!temp_.empty() && ::rename(temp_.c_str(), final_.c_str()) != 0) {
            Abandon();
            return false;
        }
        temp_.clear();
        createdEmpty_ = false;
        return true;
    }

private:
    // A new file beside `final`, named final.XXXXXX, created with the mode
    // any new file gets: the kernel applies the file mask, which then needs
    // neither reading nor setting (files are also written on threads of
    // their own). -1 when none can be made.
    static int CreateTemp(const std::string& final, std::string& name) {
        static std::atomic<uint64_t> counter{0};
        static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        for (int attempt = 0; attempt < 100; ++attempt) {
            uint64_t n =
                (static_cast<uint64_t>(::getpid()) << 32) ^
                static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
            name = final + '.';
            for (int i = 0; i < 6; ++i, n /= 36) name += kDigits[n % 36];
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0 || errno != EEXIST)
                return fd;
        }
        return -1;
    }

    void Abandon() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!temp_.empty())
            ::unlink(temp_.c_str());
        temp_.clear();
        // A target that did not exist before is not left behind half-made.
        if (createdEmpty_)
            ::unlink(final_.c_str());
        createdEmpty_ = false;
    }

    std::string final_;
    std::string temp_;
    int fd_ = -1;
    bool createdEmpty_ = false;
};

}  // namespace

std::wstring CXmlNode::ToString() const {
    if (!node_)
        return {};
    WideCounter counter;
    WriteTree(node_, counter);
    std::wstring out(counter.n, L'\0');
    WideFiller filler{out.data()};
    WriteTree(node_, filler);
    return out;
}

XmlError CXmlNode::WriteFile(const std::wstring& path) const {
    // A character beyond U+10FFFF cannot be stored; refuse before touching
    // the file rather than write one that reads back differently.
    if (node_ && !FitsUtf16(node_))
        return XmlError::kConversionFailed;
    FileTarget file;
    if (!file.Open(path))
        return XmlError::kCannotOpenForWriting;
    Utf16Stream out(file.Fd());
    out.Bytes(kByteOrderMark, sizeof kByteOrderMark);
    if (NeedsDeclarationLine(node_))
        Literal(out, kDeclarationLine);
    if (node_)
        WriteTree(node_, out);
    return file.Commit(out.Flush()) ? XmlError::kNone : XmlError::kCannotWrite;
}

struct CXmlFileWriter::Impl {
    explicit Impl(std::unique_ptr<FileTarget> f)
        : file(std::move(f)), stream(file->Fd()), formatter(stream) {}
    std::unique_ptr<FileTarget> file;
    Utf16Stream stream;
    Formatter<Utf16Stream> formatter;
};

CXmlFileWriter::CXmlFileWriter() = default;

CXmlFileWriter::~CXmlFileWriter() {
    if (impl_)
        Close();
}

XmlError CXmlFileWriter::Open(const std::wstring& path, bool declarationLine) {
    if (impl_)
        Close();
    auto file = std::make_unique<FileTarget>();
    if (!file->Open(path))
        return XmlError::kCannotOpenForWriting;
    impl_ = std::make_unique<Impl>(std::move(file));
    impl_->stream.Bytes(kByteOrderMark, sizeof kByteOrderMark);
    if (declarationLine)
        Literal(impl_->stream, kDeclarationLine);
    return impl_->stream.WriteFailed() ? XmlError::kCannotWrite : XmlError::kNone;
}

void CXmlFileWriter::StartElement(const wchar_t* name,
                                  std::initializer_list<XmlAttribute> attributes,
                                  bool isDeclaration) {
    StartElement(name, std::span<const XmlAttribute>(attributes.begin(), attributes.size()),
                 isDeclaration);
}

void CXmlFileWriter::StartElement(const wchar_t* name, std::span<const XmlAttribute> attributes,
                                  bool isDeclaration) {
    if (!impl_ || !name)
        return;
    impl_->formatter.StartElement(name, attributes.data(), attributes.size(), isDeclaration);
}

void CXmlFileWriter::AddText(const wchar_t* text) {
    if (impl_ && text)
        impl_->formatter.Text(text);
}

void CXmlFileWriter::AddClear(const wchar_t* value, const wchar_t* openTag,
                              const wchar_t* closeTag) {
    if (!impl_)
        return;
    impl_->formatter.Clear(value && *value ? value : nullptr, openTag ? openTag : L"",
                           closeTag ? closeTag : L"");
}

void CXmlFileWriter::EndElement() {
    if (impl_)
        impl_->formatter.EndElement();
}

XmlError CXmlFileWriter::Close() {
    if (!impl_)
        return XmlError::kCannotWrite;
    impl_->formatter.EndAll();
    const bool written = impl_->stream.Flush();
    const bool converted = !impl_->stream.ConversionFailed();
    const bool committed = impl_->file->Commit(written && converted);
    impl_.reset();
    if (!converted)
        return XmlError::kConversionFailed;
    return committed ? XmlError::kNone : XmlError::kCannotWrite;
}

}  // namespace xml
