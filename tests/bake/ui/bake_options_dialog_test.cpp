#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

#include <cmath>

#include "bake/ui/bake_options_dialog.h"
#include "tests/support/ui_test_support.h"

using uitest::GetU32;
using uitest::Header;
using uitest::PutU32;

namespace {

std::vector<uint8_t> Options(uint32_t options, uint32_t kp, uint32_t ki, uint32_t kd) {
    auto p = Header(49, 0, 9, 28);
    PutU32(p, 12, options);
    PutU32(p, 16, kp);
    PutU32(p, 20, ki);
    PutU32(p, 24, kd);
    return p;
}

}  // namespace

TEST(BakeOptionsNumbers, FormatsWithFifteenSignificantDigits) {
    const std::pair<double, const char*> cases[] = {
        {1.5, "1.5"},
        {0.1, "0.1"},
        {0, "0"},
        {98304 / 65536.0, "1.5"},
        {6553 / 65536.0, "0.0999908447265625"},
        {65535.99998474121, "65535.9999847412"},
        {1e20, "1e+20"},
        {-2.25, "-2.25"},
    };
    for (auto [v, text] : cases) EXPECT_EQ(bake::ui::FormatCoefficient(v).toStdString(), text) << v;
}

TEST(BakeOptionsNumbers, ReadsWhatPercentLfReads) {
    const std::pair<const char*, double> good[] = {
        {"1.5", 1.5},   {"  2", 2},  {"0.1", 0.1}, {"1e3", 1000},
        {"-0.5", -0.5}, {"3abc", 3}, {"+7", 7},
    };
    for (auto [text, v] : good) {
        double out = -99;
        EXPECT_TRUE(bake::ui::ParseCoefficient(QString::fromLatin1(text), &out)) << text;
        EXPECT_DOUBLE_EQ(out, v) << text;
    }
    for (const char* bad : {"", "   ", "abc", "x1", ",5", "inf", "nan", "-"}) {
        double out = -99;
        EXPECT_FALSE(bake::ui::ParseCoefficient(QString::fromLatin1(bad), &out)) << bad;
        EXPECT_EQ(out, -99) << bad;
    }
}

TEST(BakeOptionsDlg, ShowsTheReplyAndWritesUnchangedValuesBackTheSame) {
    uitest::RecordingMessageBox box;
    bake::ui::BakeOptionsDialog dlg(&box);
    auto packet = Options(0xFFFFFFFF, 98304, 6553, 0x7FFFFFFF);
    dlg.LoadFromPacket(packet.data());
    EXPECT_EQ(dlg.KpEdit()->text(), QStringLiteral("1.5"));
    EXPECT_EQ(dlg.KiEdit()->text(), QStringLiteral("0.0999908447265625"));
    EXPECT_TRUE(dlg.IgnoreSensorDiffBox()->isChecked());
    EXPECT_TRUE(dlg.UseSecondarySensorBox()->isChecked());

    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    dlg.StoreToPacket(packet.data());
    EXPECT_EQ(GetU32(packet, 0), 49u);  // the header is left to the sender
    EXPECT_EQ(GetU32(packet, 8), 9u);
    EXPECT_EQ(GetU32(packet, 12), 3u);  // only the two check boxes survive
    EXPECT_EQ(GetU32(packet, 16), 98304u);
    EXPECT_EQ(GetU32(packet, 20), 6553u);
    EXPECT_EQ(GetU32(packet, 24), 0x7FFFFFFFu);
    EXPECT_TRUE(box.messages.empty());
}

TEST(BakeOptionsDlg, EnteredValuesAreScaledAndTruncated) {
    struct Case {
        const char* text;
        uint32_t wire;
    };
    const Case cases[] = {
        {"0.1", 6553},                            // 6553.6
        {"1.5", 98304},     {"-1", 0xFFFF0000u},  // two's complement of -65536
        {"65536", 0},                             // the high bits are lost
        {"65536.5", 32768}, {"0.0000001", 0},
    };
    for (const Case& c : cases) {
        uitest::RecordingMessageBox box;
        bake::ui::BakeOptionsDialog dlg(&box);
        auto packet = Options(0, 0, 0, 0);
        dlg.LoadFromPacket(packet.data());
        dlg.KpEdit()->setText(QString::fromLatin1(c.text));
        dlg.OnOK();
        ASSERT_EQ(dlg.result(), QDialog::Accepted) << c.text;
        dlg.StoreToPacket(packet.data());
        EXPECT_EQ(GetU32(packet, 16), c.wire) << c.text;
    }
}

TEST(BakeOptionsDlg, CheckBoxesBuildTheOptionBits) {
    for (int bits = 0; bits < 4; ++bits) {
        bake::ui::BakeOptionsDialog dlg(nullptr);
        auto packet = Options(0xFFFFFFFC, 0, 0, 0);
        dlg.LoadFromPacket(packet.data());
        EXPECT_FALSE(dlg.IgnoreSensorDiffBox()->isChecked());
        dlg.IgnoreSensorDiffBox()->setChecked(bits & 1);
        dlg.UseSecondarySensorBox()->setChecked(bits & 2);
        dlg.OnOK();
        dlg.StoreToPacket(packet.data());
        EXPECT_EQ(GetU32(packet, 12), static_cast<uint32_t>(bits));
    }
}

TEST(BakeOptionsDlg, NotANumberKeepsTheDialogOpenOnThatEdit) {
    uitest::RecordingMessageBox box;
    bake::ui::BakeOptionsDialog dlg(&box);
    auto packet = Options(1, 65536, 65536, 65536);
    const auto before = packet;
    bool stillOpen = false;
    bool focused = false;
    box.onShow = [&] { stillOpen = dlg.isVisible(); };
    QTimer::singleShot(0, [&] {
        dlg.KiEdit()->setText(QStringLiteral("abc"));
        dlg.OnOK();
        focused = dlg.focusWidget() == dlg.KiEdit();
        dlg.KiEdit()->setText(QStringLiteral("2"));
        dlg.reject();  // Cancel after all
    });
    EXPECT_FALSE(dlg.EditBakeOptions(packet.data()));
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0],
              (uitest::RecordedMessage{L"Enter a number.", platform::MessageIcon::Error}));
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(focused);
    EXPECT_EQ(packet, before);  // cancelled: nothing written back
}

TEST(BakeOptionsDlg, ConfirmedRunWritesTheEditedValues) {
    bake::ui::BakeOptionsDialog dlg(nullptr);
    auto packet = Options(2, 98304, 0, 0);
    QTimer::singleShot(0, [&] {
        dlg.KpEdit()->setText(QStringLiteral("0.1"));
        dlg.UseSecondarySensorBox()->setChecked(false);
        dlg.IgnoreSensorDiffBox()->setChecked(true);
        dlg.OnOK();
    });
    EXPECT_TRUE(dlg.EditBakeOptions(packet.data()));
    EXPECT_EQ(GetU32(packet, 12), 1u);
    EXPECT_EQ(GetU32(packet, 16), 6553u);
}
