#include "xml/xml_error.h"

#include <iterator>
#include <string>

#include "platform/system_error_text.h"
#include "platform/text_conversion.h"

namespace xml {

namespace {

constexpr const wchar_t* kTexts[] = {
    L"No error",
    L"Warning: Unmatched end tag",
    L"Warning: No XML tag found",
    L"Error: No XML data",
    L"Error: Missing start tag name",
    L"Error: Missing end tag name",
    L"Error: Unmatched end tag",
    L"Error: Unmatched clear tag end",
    L"Error: Unexpected token found",
    L"Error: No elements found",
    L"Error: File not found",
    L"Error: First Tag not found",
    L"Error: Unknown character entity",
    L"Error: Character code above 255 is forbidden in MultiByte char mode.",
    L"Error: unable to convert between WideChar and MultiByte chars",
    L"Error: unable to open file for writing",
    L"Error: cannot write into file",
    L"Warning: Base64-string length is not a multiple of 4",
    L"Error: Base64-string contains an illegal character",
    L"Warning: Base64-string is truncated",
    L"Error: Base64 decode output buffer is too small",
    L"Error: Not a regular file",
    L"Error: File is larger than 1 GiB",
    L"Error: Not enough memory to read the file",
};

}  // namespace

const wchar_t* XmlErrorText(int code) {
    if (code < 0 || code >= static_cast<int>(std::size(kTexts)))
        return L"Unknown";
    return kTexts[code];
}

std::wstring XmlFileErrorText(XmlError code, const std::wstring& path, const std::wstring& reason) {
    std::wstring text = XmlErrorText(code);
    text += L" \"";
    text += path;
    text += L'"';
    if (!reason.empty()) {
        text += L": ";
        text += reason;
    }
    return text;
}

std::wstring SystemReason(int errnum) {
    const std::string text = platform::SystemErrorText(errnum);
    std::wstring wide;
    if (text.empty() || !platform::Utf8ToWide(text, wide))
        return L"system error " + std::to_wstring(errnum);
    return wide;
}

}  // namespace xml
