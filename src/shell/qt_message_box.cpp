#include "shell/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace shell {

void QtMessageBox::ShowMessage(const std::wstring& text, platform::MessageIcon icon) {
    const QMessageBox::Icon qicon = icon == platform::MessageIcon::Error ? QMessageBox::Critical
                                    : icon == platform::MessageIcon::Information
                                        ? QMessageBox::Information
                                        : QMessageBox::NoIcon;
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    QMessageBox box(qicon, QStringLiteral("Calvero"), QString::fromStdWString(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace shell
