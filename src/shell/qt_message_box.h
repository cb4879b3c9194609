#pragma once
// The program's message boxes: modal QMessageBox with the error, the
// information or no icon, captioned with the program's name.

#include <QPointer>
#include <QWidget>

#include "platform/message_box.h"

namespace shell {

class QtMessageBox : public platform::MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(const std::wstring& text, platform::MessageIcon icon) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace shell
