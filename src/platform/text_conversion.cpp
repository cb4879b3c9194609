#include "platform/text_conversion.h"

#include <algorithm>

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(uint32_t u) {
    return u >= 0xD800 && u <= 0xDFFF;
}

}  // namespace

bool Utf8ToWide(std::string_view in, std::wstring& out) {
    out.clear();
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            out.push_back(static_cast<wchar_t>(b));
            ++p;
            continue;
        }
        int extra;
        uint32_t cp;
        uint32_t minimum;
        if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, minimum = 0x10000;
        } else {
            return false;  // continuation byte or 0xF8..0xFF as a lead byte
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || IsSurrogate(cp))
            return false;
        out.push_back(static_cast<wchar_t>(cp));
        p += extra + 1;
    }
    return true;
}

std::string WideToUtf8(std::wstring_view in) {
    std::string out;
    out.reserve(in.size());
    for (wchar_t wc : in) {
        auto cp = static_cast<uint32_t>(wc);
        if (cp > 0x10FFFF || IsSurrogate(cp))
            cp = kReplacement;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool Utf16LeToWide(const uint8_t* data, size_t size, std::wstring& out) {
    out.clear();
    if (size % 2 != 0)
        return false;
    const size_t units = size / 2;
    out.resize(units);
    wchar_t* w = out.data();
    size_t i = 0;
    while (i < units) {
        const uint32_t u = data[2 * i] | (static_cast<uint32_t>(data[2 * i + 1]) << 8);
        ++i;
        if (u >= 0xD800 && u <= 0xDBFF && i < units) {
            const uint32_t lo = data[2 * i] | (static_cast<uint32_t>(data[2 * i + 1]) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                *w++ = static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        *w++ = static_cast<wchar_t>(u);
    }
    out.resize(static_cast<size_t>(w - out.data()));
    return true;
}

bool AppendUtf16Le(wchar_t c, std::vector<uint8_t>& out) {
    const auto u = static_cast<uint32_t>(c);
    if (u < 0x10000) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
        return true;
    }
    if (u > 0x10FFFF)
        return false;
    const uint32_t v = u - 0x10000;
    const uint32_t hi = 0xD800 + (v >> 10), lo = 0xDC00 + (v & 0x3FF);
    out.push_back(static_cast<uint8_t>(hi));
    out.push_back(static_cast<uint8_t>(hi >> 8));
    out.push_back(static_cast<uint8_t>(lo));
    out.push_back(static_cast<uint8_t>(lo >> 8));
    return true;
}

bool WideToUtf16Le(std::wstring_view in, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(in.size() * 2);
    for (wchar_t c : in) {
        if (!AppendUtf16Le(c, out))
            return false;
    }
    return true;
}

bool IsTextUnicode(const void* data, size_t size) {
    const auto* b = static_cast<const uint8_t*>(data);
    if (size < 2)
        return false;
    if (b[0] == 0xFF && b[1] == 0xFE)
        return true;
    if (b[0] == 0xFE && b[1] == 0xFF)
        return false;
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return false;
    if (size % 2 != 0)
        return false;
    // A sample is enough to tell the two apart; a whole large file is not needed.
    const size_t units = std::min<size_t>(size, 64 * 1024) / 2;
    size_t zeroLow = 0, zeroHigh = 0;
    for (size_t i = 0; i < units; ++i) {
        zeroLow += b[2 * i] == 0;
        zeroHigh += b[2 * i + 1] == 0;
    }
    // 8-bit text has no zero bytes at all; UTF-16LE with ASCII markup has a
    // zero high byte in a good share of its units and hardly any zero low byte.
    return zeroHigh * 10 >= units && zeroHigh > 2 * zeroLow;
}

}  // namespace platform
