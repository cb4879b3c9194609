#pragma once
// Text conversion between UTF-8 (the system's 8-bit code page on Linux),
// UTF-16LE bytes (the on-disk form of XML files) and wide text (UTF-32 in
// std::wstring), plus the heuristic that tells UTF-16LE files from 8-bit ones.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Strict UTF-8 decoding: overlong forms, encoded surrogates, values beyond
// U+10FFFF and truncated sequences make it return false (out is then unspecified).
bool Utf8ToWide(std::string_view in, std::wstring& out);

// Characters that UTF-8 cannot carry (lone surrogates, values beyond U+10FFFF)
// become U+FFFD, so the result is always valid UTF-8.
std::string WideToUtf8(std::wstring_view in);

// The system's 8-bit code page is UTF-8 here; these name the intent at call sites.
inline bool CodePageToWide(std::string_view in, std::wstring& out) {
    return Utf8ToWide(in, out);
}
inline std::string WideToCodePage(std::wstring_view in) {
    return WideToUtf8(in);
}

// UTF-16LE bytes to wide text. Surrogate pairs combine into one character; a
// lone surrogate is kept as its own value so that nothing is lost. An odd byte
// count is a conversion failure. No byte-order mark is skipped here.
bool Utf16LeToWide(const uint8_t* data, size_t size, std::wstring& out);

// Appends c as UTF-16LE to out; false (nothing written) when it has no UTF-16 form.
bool AppendUtf16Le(wchar_t c, std::vector<uint8_t>& out);

// Wide text to UTF-16LE bytes; false when a character has no UTF-16 form.
bool WideToUtf16Le(std::wstring_view in, std::vector<uint8_t>& out);

// Whether the bytes are UTF-16LE text: a leading FF FE says yes, a leading
// EF BB BF (UTF-8 mark) or FE FF (big-endian mark) says no; otherwise the
// byte count must be even and zero bytes must sit in the high half of many
// code units and rarely in the low half, as in UTF-16LE text with ASCII markup.
bool IsTextUnicode(const void* data, size_t size);

}  // namespace platform
