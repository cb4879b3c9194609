// The operator's road to a controller: the selection at start-up and on
// "Connect...", the connection to the chosen controller, and the selection
// again after every failed attempt.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <deque>
#include <optional>

#include "discovery/ui/device_selection_dialog.h"
#include "link/link_errors.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/output_pane.h"
#include "tests/support/private_network.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"
#include "tests/support/ui_test_support.h"

using namespace shell;
using namespace discovery::ui;

namespace {

using uitest::PumpUntil;
using uitest::RecordedMessage;

// Answers the frame's selections from a script; an empty answer cancels.
class ScriptedSelector : public DeviceSelector {
public:
    bool SelectDevice(const DeviceSelectionContext& context, DeviceChoice* choice) override {
        ++calls;
        contexts.push_back(context);
        if (onSelect)
            onSelect();
        if (answers.empty())
            return false;
        const std::optional<DeviceChoice> a = answers.front();
        answers.pop_front();
        if (!a)
            return false;
        *choice = *a;
        return true;
    }
    std::deque<std::optional<DeviceChoice>> answers;
    std::vector<DeviceSelectionContext> contexts;
    std::function<void()> onSelect;
    int calls = 0;
};

std::wstring UnableToConnect(uint32_t code) {
    return L"Unable to connect : " + QString::fromUtf8(devlink::LinkErrorText(code)).toStdWString();
}

class SelectionRoad : public ::testing::Test {
protected:
    void SetUp() override { uitest::ClearSettings(); }
    void TearDown() override {
        frame.reset();
        uitest::ClearSettings();
    }

    // fakeLink false: the program's own link.
    MainFrameServices Services(bool fakeLink = true) {
        MainFrameServices s;
        s.messageBox = &box;
        s.deviceSelector = &selector;
        if (fakeLink) {
            s.createLink = [this](devlink::Receiver*, devlink::LinkLog*, uint32_t*) {
                return static_cast<devlink::Connection*>(&link);
            };
            s.releaseLink = [](devlink::Connection*) { return 0u; };
        }
        return s;
    }
    ::testing::AssertionResult CreateFrame(bool fakeLink = true) {
        frame = std::make_unique<MainWindow>(Services(fakeLink));
        frame->SetSelectDeviceAtStart(false);
        if (!frame->Create())
            return ::testing::AssertionFailure() << "the main frame failed to start";
        frame->show();
        return ::testing::AssertionSuccess();
    }
    QString LastLogLine() const {
        OutputPane* out = frame->Output();
        return out->LineCount() ? out->Line(out->LineCount() - 1) : QString();
    }

    uitest::RecordingMessageBox box;
    uitest::FakeLink link;
    ScriptedSelector selector;
    std::unique_ptr<MainWindow> frame;
};

TEST_F(SelectionRoad, StartUpOpensTheSelectionOnceTheWindowIsUp) {
    Application app;
    bool shownWhenSelecting = false;
    selector.onSelect = [&] { shownWhenSelecting = app.MainFrame()->isVisible(); };
    ASSERT_TRUE(app.InitInstance(CommandLineOptions{}, Services()));
    EXPECT_EQ(selector.calls, 0);  // posted, not run yet
    ASSERT_TRUE(PumpUntil([&] { return selector.calls == 1; }));
    EXPECT_TRUE(shownWhenSelecting);
    MainWindow* f = app.MainFrame();
    EXPECT_EQ(selector.contexts[0].parent, static_cast<QWidget*>(f));
    EXPECT_EQ(selector.contexts[0].messageBox, &box);
    EXPECT_EQ(selector.contexts[0].traceLog, static_cast<platform::TraceLog*>(f->Output()));

    // Cancelled: running, unconnected, "Connect..." available, nothing chosen.
    uitest::Pump();
    EXPECT_TRUE(link.connects.empty());
    EXPECT_FALSE(f->Connected());
    EXPECT_TRUE(f->Commands().connectDevice->isEnabled());
    EXPECT_EQ(f->DeviceAddress(), QString());
    EXPECT_EQ(f->DeviceName(), QString());
    EXPECT_TRUE(box.messages.empty());
    app.ExitInstance(0);
}

TEST_F(SelectionRoad, ControllerOnTheCommandLineSkipsTheSelection) {
    Application app;
    CommandLineOptions o;
    o.connectHost = QStringLiteral("127.0.0.9");
    ASSERT_TRUE(app.InitInstance(o, Services()));
    uitest::Pump();
    EXPECT_EQ(selector.calls, 0);
    ASSERT_EQ(link.connects.size(), 1u);
    EXPECT_EQ(link.connects[0].host, "127.0.0.9");
    app.ExitInstance(0);
}

TEST_F(SelectionRoad, ConfirmedControllerIsConnectedTo) {
    ASSERT_TRUE(CreateFrame());
    selector.answers = {DeviceChoice{QStringLiteral("192.168.1.10"), QStringLiteral("101")}};
    frame->Commands().connectDevice->trigger();
    EXPECT_EQ(selector.calls, 1);
    ASSERT_EQ(link.connects.size(), 1u);
    EXPECT_EQ(link.connects[0].host, "192.168.1.10");
    EXPECT_EQ(link.connects[0].port, 5565);
    EXPECT_EQ(link.connects[0].retry, 0u);
    EXPECT_EQ(frame->DeviceAddress(), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(frame->DeviceName(), QStringLiteral("101"));
    EXPECT_TRUE(box.messages.empty());

    // Connected: the command is off, and a stray request opens nothing.
    frame->Bridge()->OnConnected(0);
    uitest::Pump();
    EXPECT_FALSE(frame->Commands().connectDevice->isEnabled());
    frame->SelectDeviceAndConnect();
    EXPECT_EQ(selector.calls, 1);
}

TEST_F(SelectionRoad, RefusedConnectIsShownLoggedAndTheSelectionComesBack) {
    ASSERT_TRUE(CreateFrame());
    link.connectResult = devlink::EIOCPE_CONNECT_IN_PROGRESS;
    selector.answers = {DeviceChoice{QStringLiteral("10.0.0.1"), QStringLiteral("1")},
                        std::nullopt};
    std::vector<size_t> messagesWhenSelecting;
    selector.onSelect = [&] { messagesWhenSelecting.push_back(box.messages.size()); };
    QTimer::singleShot(0, frame.get(), &MainWindow::SelectDeviceAndConnect);
    ASSERT_TRUE(PumpUntil([&] { return selector.calls == 2; }));
    const std::wstring text = UnableToConnect(devlink::EIOCPE_CONNECT_IN_PROGRESS);
    EXPECT_EQ(text, L"Unable to connect : [EIOCPE_CONNECT_IN_PROGRESS] Connection in progress!");
    EXPECT_EQ(box.messages, (std::vector<RecordedMessage>{{text, platform::MessageIcon::Error}}));
    EXPECT_EQ(messagesWhenSelecting, (std::vector<size_t>{0, 1}));  // shown before choosing again
    ASSERT_TRUE(PumpUntil([&] { return frame->Output()->LineCount() > 0; }));
    EXPECT_TRUE(LastLogLine().startsWith(QStringLiteral("ERR [")));
    EXPECT_TRUE(LastLogLine().endsWith(QStringLiteral("] : ") + QString::fromStdWString(text)));
    EXPECT_EQ(frame->Output()->LineCount(), 1);    // logged once
    EXPECT_EQ(frame->DeviceAddress(), QString());  // the second selection was cancelled
}

TEST_F(SelectionRoad, FailureReportedLaterAlsoLeadsBackToTheSelection) {
    ASSERT_TRUE(CreateFrame());
    selector.answers = {DeviceChoice{QStringLiteral("10.0.0.1"), QStringLiteral("1")},
                        DeviceChoice{QStringLiteral("10.0.0.2"), QStringLiteral("2")}};
    frame->SelectDeviceAndConnect();
    ASSERT_EQ(link.connects.size(), 1u);
    frame->Bridge()->OnConnectFailed(devlink::EIOCPE_SIGNATURE_DIFF, 0);  // as the link thread does
    ASSERT_TRUE(PumpUntil([&] { return link.connects.size() == 2; }));
    EXPECT_EQ(link.connects[1].host, "10.0.0.2");
    EXPECT_EQ(box.messages,
              (std::vector<RecordedMessage>{{UnableToConnect(devlink::EIOCPE_SIGNATURE_DIFF),
                                             platform::MessageIcon::Error}}));
    EXPECT_EQ(frame->DeviceName(), QStringLiteral("2"));
    EXPECT_FALSE(frame->Connected());
}

TEST_F(SelectionRoad, FailureWhileChoosingDoesNotOpenASecondSelection) {
    ASSERT_TRUE(CreateFrame());
    selector.answers = {DeviceChoice{QStringLiteral("10.0.0.1"), QStringLiteral("1")},
                        std::nullopt};
    frame->SelectDeviceAndConnect();
    // The operator opens the selection again while the attempt runs, and
    // the attempt fails meanwhile.
    selector.onSelect = [&] {
        frame->Bridge()->OnConnectFailed(devlink::EIOCPE_WSAETIMEDOUT, 0);
        uitest::Pump();
    };
    frame->Commands().connectDevice->trigger();
    uitest::Pump();
    EXPECT_EQ(selector.calls, 2);
    EXPECT_EQ(box.messages,
              (std::vector<RecordedMessage>{
                  {UnableToConnect(devlink::EIOCPE_WSAETIMEDOUT), platform::MessageIcon::Error}}));
    // Once it is closed, "Connect..." works as before.
    selector.onSelect = nullptr;
    frame->Commands().connectDevice->trigger();
    EXPECT_EQ(selector.calls, 3);
}

// With the program's own link, against the simulator.
class SelectionRoadSim : public SelectionRoad {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        SelectionRoad::SetUp();
    }
};

TEST_F(SelectionRoadSim, RefusedInitGivesTheMessageAndTheSelectionAgain) {
    test_support::SimProcess sim(
        {"--bind", "127.0.0.4", "--port", "5565", "--device-id", "104", "--refuse-init", "3"});
    ASSERT_TRUE(sim.Listening()) << sim.Err();
    ASSERT_TRUE(CreateFrame(false));
    selector.answers = {DeviceChoice{QStringLiteral("127.0.0.4"), QStringLiteral("104")},
                        std::nullopt};
    frame->SelectDeviceAndConnect();
    ASSERT_TRUE(PumpUntil([&] { return !box.messages.empty(); }, 5000)) << sim.Err();
    ASSERT_TRUE(PumpUntil([&] { return selector.calls == 2; }));
    EXPECT_EQ(
        box.messages,
        (std::vector<RecordedMessage>{
            {L"Unable to connect : [EIOCPE_SIGNATURE_DIFF] Client and server are incompatible!",
             platform::MessageIcon::Error}}));
    EXPECT_FALSE(frame->Connected());
}

TEST_F(SelectionRoadSim, ControllerWithoutAddressCannotBeReached) {
    ASSERT_TRUE(CreateFrame(false));
    selector.answers = {DeviceChoice{QStringLiteral("Unknown"), QStringLiteral("102")},
                        std::nullopt};
    frame->SelectDeviceAndConnect();
    ASSERT_TRUE(PumpUntil([&] { return selector.calls == 2; }, 30000));
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].text.rfind(L"Unable to connect : [", 0), 0u)
        << QString::fromStdWString(box.messages[0].text).toStdString();
    EXPECT_EQ(box.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_FALSE(frame->Connected());
}

// The whole road with the program's own dialog: start-up, the live list,
// OK, and the controller's acceptance.
TEST_F(SelectionRoadSim, ProgramConnectsToTheControllerPickedInTheList) {
    test_support::SimProcess first({"--bind", "127.0.0.5", "--port", "5565", "--device-id", "105"});
    ASSERT_TRUE(first.Listening()) << first.Err();
    test_support::SimProcess second(
        {"--bind", "127.0.0.6", "--port", "5565", "--device-id", "106", "--ip", "0.0.0.0"});
    ASSERT_TRUE(second.Listening()) << second.Err();
    MainFrameServices s = Services(false);
    s.deviceSelector = nullptr;  // the program's own
    Application app;
    // The dialog is modal: drive it from inside its own event loop.
    int rowsSeen = 0;
    QTimer driver;
    driver.setInterval(50);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dlg = qobject_cast<DeviceSelectionDialog*>(QApplication::activeModalWidget());
        if (!dlg || dlg->List().Count() < 2)
            return;
        rowsSeen = dlg->List().Count();
        const int row = dlg->List().Find(105);
        dlg->ListView()->selectionModel()->select(
            dlg->ListView()->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        dlg->Button(1)->click();
    });
    driver.start();
    ASSERT_TRUE(app.InitInstance(CommandLineOptions{}, s));
    ASSERT_TRUE(PumpUntil([&] { return app.MainFrame()->Connected(); }, 15000))
        << first.Err() << second.Err();
    driver.stop();
    EXPECT_EQ(rowsSeen, 2);
    EXPECT_EQ(app.MainFrame()->DeviceAddress(), QStringLiteral("127.0.0.5"));
    EXPECT_EQ(app.MainFrame()->DeviceName(), QStringLiteral("105"));
    EXPECT_FALSE(app.MainFrame()->Commands().connectDevice->isEnabled());
    EXPECT_TRUE(box.messages.empty());
    app.ExitInstance(0);
}

}  // namespace
