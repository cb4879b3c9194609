#include "discovery/ui/address_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "widgets/dialog_units.h"
#include "widgets/settings.h"

namespace discovery::ui {

namespace {

constexpr char kLastAddressKey[] = "Devices/LastAddress";

}  // namespace

AddressDialog::AddressDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Connect to address"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const widgets::DialogUnits du = widgets::DialogUnits::ForFont(font());
    setFixedSize(du.Size(186, 62));

    auto* label =
        new QLabel(QStringLiteral("Controller address (IPv4 address or host name):"), this);
    label->setGeometry(du.Rect(7, 7, 172, 9));
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("address"));
    field_->setGeometry(du.Rect(7, 18, 172, 14));
    label->setBuddy(field_);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("1"));
    ok_->setGeometry(du.Rect(74, 41, 50, 14));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(129, 41, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(field_, &QLineEdit::textChanged, this,
            [this](const QString& text) { ok_->setEnabled(!text.trimmed().isEmpty()); });
    ok_->setEnabled(false);
}

void AddressDialog::SetAddress(const QString& address) {
    field_->setText(address);
    field_->selectAll();
}

void AddressDialog::accept() {
    const QString text = field_->text().trimmed();
    if (text.isEmpty())
        return;
    address_ = text;
    QDialog::accept();
}

QString AddressDialog::LastAddress() {
    return widgets::OpenSettings().value(QLatin1String(kLastAddressKey)).toString();
}

void AddressDialog::StoreLastAddress(const QString& address) {
    QSettings settings = widgets::OpenSettings();
    settings.setValue(QLatin1String(kLastAddressKey), address);
}

}  // namespace discovery::ui
