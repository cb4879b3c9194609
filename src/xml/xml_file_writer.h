#pragma once
// Streams an XML document to a file in the writer's format, element by
// element, without building a tree first: the way to write documents too
// large to hold twice. XmlNode::WriteFile produces the same bytes for the
// same elements.
//
// Format: one tab per level, a line feed after each line; an element
// without content closes in its start tag ("/>"), an element whose only
// content is one text is written on one line; a declaration element has no
// end tag and its content stays at its own level.

#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "platform/unique_fd.h"
#include "xml/xml_error.h"
#include "xml/xml_node.h"

namespace xml {

class XmlFileWriter {
public:
    XmlFileWriter();
    ~XmlFileWriter();  // closes the file if Close was not called
    XmlFileWriter(const XmlFileWriter&) = delete;
    XmlFileWriter& operator=(const XmlFileWriter&) = delete;

    // Starts the new file for `path` and writes the byte-order mark FF FE
    // and, when asked, the declaration line. The file at `path` is replaced
    // only by a successful Close; until then, and after any failure, it
    // stays as it was (see platform/replacing_file.h).
    XmlError Open(const std::wstring& path, bool declarationLine = true);

    // Attributes with a null or empty name are skipped.
    void StartElement(const wchar_t* name, std::initializer_list<XmlAttribute> attributes = {},
                      bool isDeclaration = false);
    void StartElement(const wchar_t* name, std::span<const XmlAttribute> attributes,
                      bool isDeclaration = false);
    void AddText(const wchar_t* text);
    void AddClear(const wchar_t* value, const wchar_t* openTag = L"<![CDATA[",
                  const wchar_t* closeTag = L"]]>");
    void EndElement();

    // Ends the elements still open and closes the file: kNone, or the first
    // failure (kConversionFailed for a character UTF-16 cannot carry,
    // kCannotWrite for a failed write or close).
    XmlError Close();
    // The same, but a successful Close leaves the new file open in *keep, so
    // that a lock taken on Fd() after Open holds on the file at `path` from
    // the moment it appears there until *keep is closed.
    XmlError Close(platform::UniqueFd* keep);

    // The new file's descriptor while open (for a lock, not for writing);
    // -1 otherwise.
    int Fd() const;

    // Why the last Open or Close failed, for XmlFileErrorText: the system's
    // text, or the character that has no UTF-16 form; empty after success.
    const std::wstring& Reason() const { return reason_; }
    // The operating system's error number of that failure; 0 when it was
    // none of the system's (or there was none).
    int SystemError() const { return systemError_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::wstring reason_;
    int systemError_ = 0;
};

}  // namespace xml
