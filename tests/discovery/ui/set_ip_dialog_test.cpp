// The address fields, the address and mask dialog, and the typed-address dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "discovery/ip_fields.h"
#include "discovery/ui/address_dialog.h"
#include "discovery/ui/ip_address_edit.h"
#include "discovery/ui/set_ip_dialog.h"
#include "tests/support/ui_test_support.h"

using namespace discovery::ui;

namespace {

QString Shown(const IpAddressEdit& c) {
    QStringList parts;
    for (int i = 0; i < 4; ++i) parts << c.Field(i)->text();
    return parts.join(QLatin1Char('.'));
}

TEST(IPAddressCtrl, ValueRoundTripAndBlankFields) {
    IpAddressEdit c;
    c.SetAddress(discovery::MakeFields(192, 168, 1, 2));
    EXPECT_EQ(Shown(c), QStringLiteral("192.168.1.2"));
    uint32_t v = 0;
    EXPECT_EQ(c.GetAddress(&v), 4);
    EXPECT_EQ(v, discovery::MakeFields(192, 168, 1, 2));

    c.Field(1)->clear();
    c.Field(3)->clear();
    EXPECT_EQ(c.GetAddress(&v), 2);
    EXPECT_EQ(v, discovery::MakeFields(192, 0, 1, 0));
    c.ClearAddress();
    EXPECT_TRUE(c.IsBlank());
    EXPECT_EQ(c.GetAddress(&v), 0);
    EXPECT_EQ(v, 0u);
}

TEST(IPAddressCtrl, TypingBehavesLikeTheClassicControl) {
    struct Case {
        const char* what;
        const char* keys;
        const char* shown;
    } cases[] = {
        {"dots move on", "10.1.2.3", "10.1.2.3"},
        {"a third digit moves on", "192168001002", "192.168.1.2"},
        {"above 255 becomes 255", "300.256.999.7", "255.255.255.7"},
        {"letters are refused", "1a2.b3.4.5", "12.3.4.5"},
        {"a dot in an empty box stays", ".5.6.7.8", "5.6.7.8"},
        {"space separates too", "1 2 3 4", "1.2.3.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IpAddressEdit ctrl;
        ctrl.show();
        ctrl.Field(0)->setFocus();
        QWidget* target = ctrl.Field(0);
        for (const char* k = c.keys; *k; ++k) {
            target = ctrl.focusWidget() ? ctrl.focusWidget() : target;
            QTest::keyClick(target, *k);
        }
        // Normalise "001" style boxes through the value.
        uint32_t v = 0;
        ctrl.GetAddress(&v);
        QStringList parts;
        for (int i = 0; i < 4; ++i) parts << QString::number(discovery::FieldOf(v, i));
        EXPECT_EQ(parts.join(QLatin1Char('.')).toStdString(), c.shown);
    }
}

TEST(IPAddressCtrl, BackspaceAndArrowsCrossBoxes) {
    IpAddressEdit ctrl;
    ctrl.show();
    ctrl.SetAddress(discovery::MakeFields(10, 20, 30, 40));
    ctrl.Field(2)->setFocus();
    ctrl.Field(2)->setCursorPosition(0);
    QTest::keyClick(ctrl.Field(2), Qt::Key_Backspace);
    EXPECT_EQ(ctrl.focusWidget(), ctrl.Field(1));
    EXPECT_EQ(ctrl.Field(1)->cursorPosition(), 2);
    QTest::keyClick(ctrl.Field(1), Qt::Key_Backspace);  // deletes inside the box
    EXPECT_EQ(ctrl.Field(1)->text(), QStringLiteral("2"));
    QTest::keyClick(ctrl.Field(1), Qt::Key_Right);
    EXPECT_EQ(ctrl.focusWidget(), ctrl.Field(2));
    EXPECT_EQ(ctrl.Field(2)->cursorPosition(), 0);
    QTest::keyClick(ctrl.Field(2), Qt::Key_Left);
    EXPECT_EQ(ctrl.focusWidget(), ctrl.Field(1));
    ctrl.Field(0)->setFocus();
    ctrl.Field(0)->setCursorPosition(0);
    QTest::keyClick(ctrl.Field(0), Qt::Key_Backspace);  // nowhere to go back to
    EXPECT_EQ(ctrl.focusWidget(), ctrl.Field(0));
    EXPECT_EQ(ctrl.Field(0)->text(), QStringLiteral("10"));
}

TEST(IPAddrDlg, OpensAtZeroAndTakesBothFieldsOnOK) {
    SetIpDialog dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Enter IP address"));
    EXPECT_EQ(dlg.findChild<IpAddressEdit*>(QStringLiteral("1034")), dlg.AddressField());
    EXPECT_EQ(dlg.findChild<IpAddressEdit*>(QStringLiteral("1035")), dlg.MaskField());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());  // fixed size
    dlg.show();
    EXPECT_EQ(Shown(*dlg.AddressField()), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(Shown(*dlg.MaskField()), QStringLiteral("0.0.0.0"));

    dlg.AddressField()->SetAddress(discovery::MakeFields(192, 168, 5, 20));
    dlg.MaskField()->SetAddress(discovery::MakeFields(255, 255, 255, 0));
    dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.address, discovery::MakeFields(192, 168, 5, 20));
    EXPECT_EQ(dlg.mask, discovery::MakeFields(255, 255, 255, 0));
}

TEST(IPAddrDlg, TypingOverTheZerosFillsBothFields) {
    // The fields open as 0.0.0.0: a box reached by a third digit is not
    // empty, and the dot typed after it must not skip it.
    SetIpDialog dlg;
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto type = [](const char* keys) {
        for (const char* k = keys; *k; ++k) QTest::keyClick(QApplication::focusWidget(), *k);
    };
    type("192.168.100.7");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    type("255.255.255.0");
    EXPECT_EQ(Shown(*dlg.AddressField()), QStringLiteral("192.168.100.7"));
    EXPECT_EQ(Shown(*dlg.MaskField()), QStringLiteral("255.255.255.0"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.address, discovery::MakeFields(192, 168, 100, 7));
    EXPECT_EQ(dlg.mask, discovery::MakeFields(255, 255, 255, 0));
}

TEST(IPAddrDlg, CancelKeepsTheValuesAndZeroIsTaken) {
    SetIpDialog dlg;
    dlg.address = discovery::MakeFields(1, 2, 3, 4);
    dlg.show();
    EXPECT_EQ(Shown(*dlg.AddressField()), QStringLiteral("1.2.3.4"));
    dlg.AddressField()->SetAddress(discovery::MakeFields(9, 9, 9, 9));
    dlg.findChild<QPushButton*>(QStringLiteral("2"))->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.address, discovery::MakeFields(1, 2, 3, 4));

    // Blank fields are taken as 0; no value is refused.
    SetIpDialog blank;
    blank.address = discovery::MakeFields(1, 2, 3, 4);
    blank.show();
    blank.AddressField()->ClearAddress();
    blank.accept();
    EXPECT_EQ(blank.result(), QDialog::Accepted);
    EXPECT_EQ(blank.address, 0u);
}

TEST(AddressDlg, NeedsTextAndRemembersTheLastAddress) {
    uitest::ClearSettings();
    EXPECT_EQ(AddressDialog::LastAddress(), QString());
    AddressDialog dlg;
    dlg.show();
    EXPECT_FALSE(dlg.OkButton()->isEnabled());
    dlg.Field()->setText(QStringLiteral("   "));
    EXPECT_FALSE(dlg.OkButton()->isEnabled());
    dlg.accept();  // Enter with nothing typed: stays open
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClicks(dlg.Field(), QStringLiteral(" plate-7.lab "));
    EXPECT_TRUE(dlg.OkButton()->isEnabled());
    dlg.OkButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.Address(), QStringLiteral("plate-7.lab"));

    AddressDialog::StoreLastAddress(QStringLiteral("10.20.30.40"));
    EXPECT_EQ(AddressDialog::LastAddress(), QStringLiteral("10.20.30.40"));
    uitest::ClearSettings();
}

}  // namespace
