#include "shell/about_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "widgets/command_icons.h"
#include "widgets/dialog_units.h"

namespace shell {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About TVR_GUI"));
    const widgets::DialogUnits du = widgets::DialogUnits::ForFont(font());
    setFixedSize(du.Size(170, 62));
    auto* icon = new QLabel(this);
    icon->setPixmap(widgets::ApplicationIcon().pixmap(QSize(32, 32), icon->devicePixelRatioF()));
    icon->setGeometry(du.Rect(14, 14, 21, 20));
    auto* text = new QLabel(tr("TVR_GUI, Version 1.0"), this);
    text->setGeometry(du.Rect(42, 14, 114, 8));
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(du.Rect(113, 41, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace shell
