#pragma once
// Operator-facing outcomes are modal message boxes with one of three looks.
// Logic and widgets show them through this interface, so that tests record
// them instead of blocking; the program's implementation is a QMessageBox.

#include <string>

namespace platform {

enum class MessageIcon { None, Information, Error };

class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
};

}  // namespace platform
