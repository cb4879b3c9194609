#include "discovery/ui/set_ip_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "discovery/ui/ip_address_edit.h"
#include "widgets/dialog_units.h"

namespace discovery::ui {

SetIpDialog::SetIpDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Enter IP address"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    const widgets::DialogUnits du = widgets::DialogUnits::ForFont(font());
    setFixedSize(du.Size(165, 95));

    auto* group = new QGroupBox(this);
    group->setGeometry(du.Rect(7, 3, 151, 60));

    auto* ipLabel = new QLabel(QStringLiteral("IP : "), this);
    ipLabel->move(du.X(26), du.Y(19));
    addressField_ = new IpAddressEdit(this);
    addressField_->setObjectName(QString::number(IDC_IP_ADDRESS));
    addressField_->setGeometry(du.Rect(43, 16, 100, 15));

    auto* maskLabel = new QLabel(QStringLiteral("Mask : "), this);
    maskLabel->move(du.X(16), du.Y(41));
    maskField_ = new IpAddressEdit(this);
    maskField_->setObjectName(QString::number(IDC_IP_MASK));
    maskField_->setGeometry(du.Rect(43, 38, 100, 15));
    ipLabel->adjustSize();
    maskLabel->adjustSize();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.Rect(24, 74, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(90, 74, 50, 14));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(addressField_, maskField_);
    setTabOrder(maskField_, ok);
    setTabOrder(ok, cancel);
}

void SetIpDialog::showEvent(QShowEvent* event) {
    // The fields show the values the dialog opens with.
    addressField_->SetAddress(address);
    maskField_->SetAddress(mask);
    QDialog::showEvent(event);
    addressField_->setFocus();
}

void SetIpDialog::accept() {
    address = addressField_->Address();
    mask = maskField_->Address();
    QDialog::accept();
}

}  // namespace discovery::ui
