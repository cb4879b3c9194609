// The operator program's main frame, in this process and offscreen, against
// a real calvero-sim over loopback: the whole road from the link thread to
// the control panel and back to the controller.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <string>

#include "bake/ui/bake_options_dialog.h"
#include "bake/ui/control_panel.h"
#include "bake/ui/segment_display.h"
#include "link/link_errors.h"
#include "shell/main_window.h"
#include "shell/output_pane.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"
#include "tests/support/ui_test_support.h"

using namespace shell;

namespace {

class GuiAgainstSim : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::ClearSettings();
        sim_ = std::make_unique<test_support::SimProcess>(
            std::vector<std::string>{"--rate", "20", "--speed", "20"});
        ASSERT_TRUE(sim_->Listening()) << sim_->Err();
        port_ = static_cast<uint16_t>(std::stoi(sim_->Port()));

        MainFrameServices services;
        services.messageBox = &box_;
        frame_ = std::make_unique<MainWindow>(services);
        ASSERT_TRUE(frame_->Create());
        frame_->show();
    }
    void TearDown() override {
        frame_.reset();  // closes the link before the simulator goes
        sim_.reset();
    }

    bake::ui::ControlPanel* Panel() { return frame_->ControlFrame(); }
    bool WaitState(bake::ui::ControlState s, int ms = 10000) {
        return uitest::PumpUntil([&] { return Panel()->State() == s; }, ms);
    }
    // Log lines travel as posted events of their own, so a line may still be
    // on its way when a gauge packet posted earlier has already moved the panel.
    bool LogHas(const QString& text, int ms = 3000) {
        const OutputPane* out = frame_->Output();
        return uitest::PumpUntil(
            [&] {
                for (int i = 0; i < out->LineCount(); ++i)
                    if (out->Line(i).endsWith(QStringLiteral("] : ") + text))
                        return true;
                return false;
            },
            ms);
    }

    uitest::RecordingMessageBox box_;
    std::unique_ptr<test_support::SimProcess> sim_;
    uint16_t port_ = 0;
    std::unique_ptr<MainWindow> frame_;
};

}  // namespace

TEST_F(GuiAgainstSim, ConnectBakeAndAbort) {
    frame_->ConnectTo(QStringLiteral("127.0.0.1"), port_);
    ASSERT_TRUE(WaitState(bake::ui::ControlState::CF_IDLE))
        << "state " << static_cast<uint32_t>(Panel()->State());
    EXPECT_TRUE(frame_->Connected());
    EXPECT_TRUE(LogHas(QStringLiteral("Device Connected!")));
    EXPECT_EQ(Panel()->StatusField()->text(), QStringLiteral("Idle"));
    QPushButton* startAbort = Panel()->StartAbortButton();
    EXPECT_EQ(startAbort->text(), QStringLiteral("B A K E"));
    EXPECT_TRUE(startAbort->isEnabled());
    EXPECT_FALSE(frame_->Commands().connectDevice->isEnabled());
    EXPECT_TRUE(frame_->Commands().bakeOptions->isEnabled());
    ASSERT_TRUE(uitest::PumpUntil([&] { return !Panel()->MainReadout()->IsBlank(); }));

    startAbort->click();
    ASSERT_TRUE(WaitState(bake::ui::ControlState::CF_BAKING));
    EXPECT_EQ(startAbort->text(), QStringLiteral("A B O R T"));
    EXPECT_EQ(Panel()->StatusField()->text(), QStringLiteral("Baking"));
    EXPECT_FALSE(frame_->Commands().bakeOptions->isEnabled());

    startAbort->click();
    ASSERT_TRUE(WaitState(bake::ui::ControlState::CF_IDLE));
    EXPECT_EQ(startAbort->text(), QStringLiteral("B A K E"));
    // A start and an abort that succeed say nothing.
    uitest::Pump();
    EXPECT_TRUE(box_.messages.empty())
        << QString::fromStdWString(box_.messages[0].text).toStdString();

    frame_->Commands().disconnectDevice->trigger();
    ASSERT_TRUE(WaitState(bake::ui::ControlState::CF_DISCONNECTED));
    EXPECT_FALSE(frame_->Connected());
    EXPECT_TRUE(Panel()->MainReadout()->IsBlank());
    EXPECT_TRUE(frame_->Commands().connectDevice->isEnabled());
}

TEST_F(GuiAgainstSim, BakeOptionsRoundTrip) {
    frame_->ConnectTo(QStringLiteral("127.0.0.1"), port_);
    ASSERT_TRUE(WaitState(bake::ui::ControlState::CF_IDLE));

    // The controller's reply opens the real dialog; once it runs, KP is
    // edited (or the dialog cancelled when no text is pending).
    QString pendingKp, shownKp;
    int dialogs = 0;
    Panel()->SetBakeOptionsEditor([&](uint8_t* packet) {
        ++dialogs;
        bake::ui::BakeOptionsDialog dlg(&box_, frame_.get());
        QTimer::singleShot(0, &dlg, [&] {
            shownKp = dlg.KpEdit()->text();
            if (pendingKp.isEmpty()) {
                dlg.reject();
            } else {
                dlg.KpEdit()->setText(pendingKp);
                dlg.OnOK();
            }
        });
        return dlg.EditBakeOptions(packet);
    });
    pendingKp = QStringLiteral("2.25");
    frame_->Commands().bakeOptions->trigger();
    ASSERT_TRUE(uitest::PumpUntil([&] { return !box_.messages.empty(); }));
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(box_.messages[0], (uitest::RecordedMessage{L"Bake options set successfully!",
                                                         platform::MessageIcon::Information}));
    const QString before = shownKp;

    // Asked again, the controller reports the new value; cancelling sends nothing.
    pendingKp.clear();
    frame_->Commands().bakeOptions->trigger();
    ASSERT_TRUE(uitest::PumpUntil([&] { return dialogs == 2; }));
    EXPECT_EQ(shownKp, QStringLiteral("2.25")) << "first shown " << before.toStdString();
    // The controller answers in order: a reply to anything the cancel sent
    // comes before the reply that opens the third dialog.
    frame_->Commands().bakeOptions->trigger();
    ASSERT_TRUE(uitest::PumpUntil([&] { return dialogs == 3; }));
    EXPECT_EQ(shownKp, QStringLiteral("2.25"));
    EXPECT_EQ(box_.messages.size(), 1u);
}

TEST_F(GuiAgainstSim, RefusedConnectionIsShownAndLogged) {
    frame_->ConnectTo(QStringLiteral("127.0.0.1"), test_support::UnusedPort());
    ASSERT_TRUE(uitest::PumpUntil([&] { return !box_.messages.empty(); }));
    const std::string t = devlink::LinkErrorText(devlink::EIOCPE_WSAECONNREFUSED);
    const std::wstring text = L"Unable to connect : " + std::wstring(t.begin(), t.end());
    EXPECT_EQ(box_.messages[0], (uitest::RecordedMessage{text, platform::MessageIcon::Error}));
    ASSERT_TRUE(LogHas(QString::fromStdWString(text)));
    EXPECT_EQ(Panel()->State(), bake::ui::ControlState::CF_DISCONNECTED);
    EXPECT_FALSE(frame_->Connected());
}
