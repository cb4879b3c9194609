#pragma once
// Result codes of the XML reader and writer and their fixed texts. Codes 1
// and 2 are warnings (the parsed tree is kept); 3 and above are errors.

#include <string>

namespace xml {

enum class XmlError : int {
    kNone = 0,
    kWarnUnmatchedEndTag = 1,
    kWarnNoXmlTag = 2,
    kNoXmlData = 3,
    kMissingStartTagName = 4,
    kMissingEndTagName = 5,
    kUnmatchedEndTag = 6,
    kUnmatchedClearTagEnd = 7,
    kUnexpectedToken = 8,
    kNoElements = 9,
    kFileNotFound = 10,
    kFirstTagNotFound = 11,
    kUnknownCharacterEntity = 12,
    kCharCodeAbove255 = 13,
    kConversionFailed = 14,
    kCannotOpenForWriting = 15,
    kCannotWrite = 16,
    kBase64LengthNotMultipleOf4 = 17,
    kBase64IllegalCharacter = 18,
    kBase64Truncated = 19,
    kBase64BufferTooSmall = 20,
    // The reader refuses these before reading a byte, so that a device, a
    // pipe or a huge file cannot make it read without end.
    kNotARegularFile = 21,
    kFileTooLarge = 22,
    // Memory ran out while a file or text was read; nothing was kept.
    kOutOfMemory = 23,
};

// Larger files are refused: far beyond any chart file, and small enough that
// reading one cannot take the machine's memory.
inline constexpr unsigned long long kMaxXmlFileBytes = 1ull << 30;

// The message of a code; "Unknown" for a number outside the table.
const wchar_t* XmlErrorText(int code);
inline const wchar_t* XmlErrorText(XmlError code) {
    return XmlErrorText(static_cast<int>(code));
}

// Failures of the file itself rather than of the markup in it: the file
// could not be opened, read, written or converted, or is not one to read.
inline bool IsXmlFileFailure(XmlError code) {
    switch (code) {
        case XmlError::kFileNotFound:
        case XmlError::kConversionFailed:
        case XmlError::kCannotOpenForWriting:
        case XmlError::kCannotWrite:
        case XmlError::kNotARegularFile:
        case XmlError::kFileTooLarge:
        case XmlError::kOutOfMemory:
            return true;
        default:
            return false;
    }
}

// The message of a file failure: the code's text, the file and, when known,
// the reason, e.g. Error: cannot write into file "/x/a.tvr": No space left
// on device.
std::wstring XmlFileErrorText(XmlError code, const std::wstring& path,
                              const std::wstring& reason = {});

// The operating system's text for an error number, as a reason above.
std::wstring SystemReason(int errnum);

// Warnings keep the tree; anything from kNoXmlData on is a failure.
inline bool IsXmlFailure(XmlError code) {
    return static_cast<int>(code) >= 3;
}

}  // namespace xml
