#pragma once
// Operator-facing outcomes are modal message boxes with one of three looks.
// Logic and widgets show them through this interface, so that tests record
// them instead of blocking; the program's implementation is a QMessageBox.

#include <string>

enum class MessageIcon { None, Information, Error };

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
};
