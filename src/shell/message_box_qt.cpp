#include "shell/message_box_qt.h"

#include <QApplication>
#include <QMessageBox>

namespace shell {

void CQtMessageBox::ShowMessage(const std::wstring& text, MessageIcon icon) {
    const QMessageBox::Icon qicon = icon == MessageIcon::Error         ? QMessageBox::Critical
                                    : icon == MessageIcon::Information ? QMessageBox::Information
                                                                       : QMessageBox::NoIcon;
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    QMessageBox box(qicon, QStringLiteral("Calvero"), QString::fromStdWString(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace shell
