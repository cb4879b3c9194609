// Several controllers in one program: each has its own link, pane, record
// and log lines; the commands act on the active one, a record's upload on
// the controller that made it; one controller looks as it always did.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QRegularExpression>
#include <QStatusBar>

#include <deque>
#include <memory>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "document/live_recorder.h"
#include "link/link_errors.h"
#include "shell/alarm_commands.h"
#include "shell/application.h"
#include "shell/controller_session.h"
#include "shell/main_window.h"
#include "shell/output_pane.h"
#include "tests/support/document_window.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

namespace {

using namespace shell;
using bake::ui::ControlState;
using uitest::PumpUntil;

// Answers each selection with the next list of choices; none left: cancelled.
class ScriptedSelector : public DeviceSelector {
public:
    bool SelectDevices(const DeviceSelectionContext&, QList<DeviceChoice>* choices) override {
        ++calls;
        if (answers.empty())
            return false;
        *choices = answers.front();
        answers.pop_front();
        return true;
    }
    std::deque<QList<DeviceChoice>> answers;
    int calls = 0;
};

class SeveralControllers : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::ClearSettings();
        services_.messageBox = &box_;
        services_.deviceSelector = &selector_;
        // A fake link of its own for every controller, in the order they come.
        services_.createLink = [this](devlink::Receiver* receiver, devlink::LinkLog*, uint32_t*) {
            uitest::FakeLink& link = links_.emplace_back();
            auto* bridge = static_cast<LinkBridge*>(receiver);
            // The operator's disconnect is carried out as the link would.
            link.onDisconnect = [bridge] { bridge->OnDisconnected(0, 0); };
            return static_cast<devlink::Connection*>(&link);
        };
        services_.releaseLink = [](devlink::Connection*) { return 0u; };
        docs_.recoveryFolder = QString::fromStdString(dir_.Path("recovery"));
        docs_.askSaveChanges = [](QWidget*, const QString&) {
            return document::SaveChoice::Discard;
        };
        docs_.askRestoreRecovered = [](QWidget*, const QString&,
                                       const QList<document::RecoveryEntry>&,
                                       const std::function<void(document::RecoveryAnswer)>&) {};
        options_.recordsFolder = QString::fromStdString(dir_.Path("records"));
        options_.connectHost = QStringLiteral("10.0.0.1");
    }
    void TearDown() override {
        app_.ExitInstance(0);
        uitest::ClearSettings();
    }

    ::testing::AssertionResult Start() {
        if (!app_.InitInstance(options_, services_, docs_))
            return ::testing::AssertionFailure() << "the program did not start";
        frame_ = app_.MainFrame();
        return ::testing::AssertionSuccess();
    }
    ControllerSession* Session(int i) const { return frame_->Sessions()->All().value(i); }
    // The link thread's events, as the link would give them.
    ::testing::AssertionResult Connected(ControllerSession* s) {
        s->Bridge()->OnConnected(0);
        if (!PumpUntil([s] { return s->Connected(); }))
            return ::testing::AssertionFailure() << "not connected";
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult Gauge(ControllerSession* s, uint32_t devState, uint64_t t,
                                     ControlState expected) {
        const std::vector<uint8_t> p =
            test_support::GaugePacket({.timestamp = t, .devState = devState, .tempMain = 2500});
        s->Bridge()->OnPacket(p.data(), uint32_t(p.size()), 0);
        uitest::Pump();  // the packet queued above, even when the state stays
        if (!PumpUntil([&] { return s->Panel()->State() == expected; }))
            return ::testing::AssertionFailure()
                   << "state " << int(s->Panel()->State()) << ", not " << int(expected);
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult TwoBaking() {
        frame_->ConnectTo(QStringLiteral("10.0.0.2"), MainWindow::kControllerPort,
                          QStringLiteral("1002"));
        if (frame_->Sessions()->Count() != 2)
            return ::testing::AssertionFailure() << frame_->Sessions()->Count() << " sessions";
        // Both connected before a bake begins: the records name their controller.
        for (ControllerSession* s : frame_->Sessions()->All()) {
            if (auto r = Connected(s); !r)
                return r;
            if (auto r = Gauge(s, bake::CONCC_DEV_IDLE, 1000, ControlState::CF_IDLE); !r)
                return r;
        }
        for (ControllerSession* s : frame_->Sessions()->All()) {
            if (auto r = Gauge(s, bake::CONCC_DEV_BAKING, 2000, ControlState::CF_BAKING); !r)
                return r;
        }
        return ::testing::AssertionSuccess();
    }
    QStringList Lines() const {
        QStringList out;
        for (int i = 0; i < frame_->Output()->LineCount(); ++i) out << frame_->Output()->Line(i);
        return out;
    }
    QStringList Records() const {
        return QDir(options_.recordsFolder).entryList({QStringLiteral("*.tvr")}, QDir::Files);
    }

    test_support::TempDir dir_;
    uitest::RecordingMessageBox box_;
    ScriptedSelector selector_;
    std::deque<uitest::FakeLink> links_;
    MainFrameServices services_;
    DocumentServices docs_;
    CommandLineOptions options_;
    Application app_;
    MainWindow* frame_ = nullptr;
};

}  // namespace

TEST_F(SeveralControllers, OneControllerLooksAsItAlwaysDid) {
    ASSERT_TRUE(Start());
    ControllerSession* only = Session(0);
    ASSERT_TRUE(Connected(only));
    ASSERT_TRUE(Gauge(only, bake::CONCC_DEV_IDLE, 1000, ControlState::CF_IDLE));
    ASSERT_TRUE(Gauge(only, bake::CONCC_DEV_BAKING, 2000, ControlState::CF_BAKING));
    EXPECT_EQ(1, frame_->Sessions()->Count());
    EXPECT_EQ(1u, links_.size());
    EXPECT_EQ(QStringLiteral("Control"), frame_->ControlPane()->windowTitle());
    document::ChartDocument* record = app_.Recorder()->LiveRecord();
    ASSERT_NE(nullptr, record);
    EXPECT_TRUE(record->Device().isEmpty());
    static const QRegularExpression plain(QStringLiteral("^bake-\\d{8}-\\d{6}\\.tvr$"));
    EXPECT_TRUE(plain.match(QDir(record->RecoveryPath()).dirName()).hasMatch())
        << record->RecoveryPath().toStdString();
    // Its lines read as the pane's own: nothing before the text.
    ASSERT_TRUE(PumpUntil([&] { return !Lines().isEmpty(); }));
    for (const QString& line : Lines())
        EXPECT_FALSE(line.contains(QStringLiteral("] : 10.0.0.1: ")));
    // "Add Device..." appears once there is a controller to add to.
    EXPECT_TRUE(frame_->Commands().addDevice->isVisible());
}

TEST_F(SeveralControllers, EachControllerHasItsOwnLinkPaneRecordAndLines) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(TwoBaking());
    ControllerSession* a = Session(0);
    ControllerSession* b = Session(1);
    ASSERT_EQ(2u, links_.size());
    ASSERT_EQ(1u, links_[0].connects.size());
    ASSERT_EQ(1u, links_[1].connects.size());
    EXPECT_EQ("10.0.0.1", links_[0].connects[0].host);
    EXPECT_EQ("10.0.0.2", links_[1].connects[0].host);
    EXPECT_EQ(5565, links_[1].connects[0].port);
    EXPECT_NE(a->Dock(), b->Dock());
    // Titled by device ID where known, else by address.
    EXPECT_EQ(QStringLiteral("10.0.0.1"), a->Dock()->windowTitle());
    EXPECT_EQ(QStringLiteral("1002"), b->Dock()->windowTitle());
    EXPECT_TRUE(frame_->tabifiedDockWidgets(a->Dock()).contains(b->Dock()));

    // Each bake has its record, named after its controller.
    document::ChartDocument* ra = a->Recorder()->LiveRecord();
    document::ChartDocument* rb = b->Recorder()->LiveRecord();
    ASSERT_TRUE(ra && rb);
    EXPECT_NE(ra, rb);
    EXPECT_EQ(QStringLiteral("10.0.0.1"), ra->Device());
    EXPECT_EQ(QStringLiteral("1002"), rb->Device());
    EXPECT_TRUE(rb->SuggestedPath().endsWith(QStringLiteral("-1002.tvr")));

    // A's packets reach A's panel and record only.
    const size_t before = rb->Set().FindChartByName(L"Temp Main")->Points().size();
    ASSERT_TRUE(Gauge(a, bake::CONCC_DEV_IDLE, 3000, ControlState::CF_IDLE));
    EXPECT_EQ(ControlState::CF_BAKING, b->Panel()->State());
    EXPECT_EQ(before, rb->Set().FindChartByName(L"Temp Main")->Points().size());
    EXPECT_FALSE(ra->IsLiveBake());
    EXPECT_TRUE(rb->IsLiveBake());

    // Every controller line names its controller.
    ASSERT_TRUE(PumpUntil([&] {
        return Lines().filter(QStringLiteral("] : 1002: ")).size() > 0 &&
               Lines().filter(QStringLiteral("] : 10.0.0.1: ")).size() > 0;
    }));

    // The same address again only brings its pane forward.
    frame_->ConnectTo(QStringLiteral("10.0.0.1"));
    EXPECT_EQ(2, frame_->Sessions()->Count());
    EXPECT_EQ(a, frame_->ActiveSession());
    EXPECT_EQ(1u, links_[0].connects.size());
    EXPECT_EQ(a->Panel(), frame_->ControlFrame());
}

TEST_F(SeveralControllers, DisconnectingOneLeavesTheOtherBaking) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(TwoBaking());
    ControllerSession* a = Session(0);
    QPointer<ControllerSession> b = Session(1);
    document::ChartDocument* rb = b->Recorder()->LiveRecord();
    frame_->ActivateSession(b);
    ASSERT_EQ(b, frame_->ActiveSession());
    ASSERT_TRUE(frame_->Commands().disconnectDevice->isEnabled());
    frame_->Commands().disconnectDevice->trigger();
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{1, 0}}), links_[1].disconnects);
    EXPECT_TRUE(links_[0].disconnects.empty());
    // Its pane goes once its record is saved, under its name.
    ASSERT_TRUE(PumpUntil([&] { return !b; }));
    ASSERT_EQ(1, Records().size()) << Records().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(Records()[0].endsWith(QStringLiteral("-1002.tvr"))) << Records()[0].toStdString();
    EXPECT_FALSE(rb->IsLiveBake());
    // The other bakes and records on, alone again: titled as ever.
    EXPECT_EQ(1, frame_->Sessions()->Count());
    EXPECT_EQ(a, frame_->ActiveSession());
    EXPECT_EQ(ControlState::CF_BAKING, a->Panel()->State());
    document::ChartDocument* ra = a->Recorder()->LiveRecord();
    ASSERT_NE(nullptr, ra);
    const size_t before = ra->Set().FindChartByName(L"Temp Main")->Points().size();
    ASSERT_TRUE(Gauge(a, bake::CONCC_DEV_BAKING, 2500, ControlState::CF_BAKING));
    EXPECT_EQ(before + 1, ra->Set().FindChartByName(L"Temp Main")->Points().size());
    EXPECT_EQ(QStringLiteral("Control"), a->Dock()->windowTitle());
}

TEST_F(SeveralControllers, ALostLinkKeepsItsPaneAndTouchesNoOther) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(TwoBaking());
    ControllerSession* a = Session(0);
    ControllerSession* b = Session(1);
    document::ChartDocument* ra = a->Recorder()->LiveRecord();
    a->Bridge()->OnDisconnected(0, 0);
    ASSERT_TRUE(PumpUntil([&] { return a->Panel()->State() == ControlState::CF_DISCONNECTED; }));
    EXPECT_EQ(2, frame_->Sessions()->Count());
    ASSERT_TRUE(PumpUntil([&] { return Records().size() == 1; }));
    EXPECT_TRUE(Records()[0].endsWith(QStringLiteral("-10.0.0.1.tvr")));
    EXPECT_NE(nullptr, ra);
    EXPECT_EQ(ControlState::CF_BAKING, b->Panel()->State());
    EXPECT_TRUE(b->Recorder()->LiveRecord()->IsLiveBake());
    EXPECT_TRUE(b->Connected());
}

TEST_F(SeveralControllers, ARecordUploadsToTheControllerThatMadeIt) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(TwoBaking());
    ControllerSession* a = Session(0);
    ControllerSession* b = Session(1);
    document::ChartDocument* ra = a->Recorder()->LiveRecord();
    // A profile needs more than two points.
    ASSERT_TRUE(Gauge(a, bake::CONCC_DEV_BAKING, 2200, ControlState::CF_BAKING));
    ASSERT_TRUE(Gauge(a, bake::CONCC_DEV_BAKING, 2400, ControlState::CF_BAKING));
    ASSERT_TRUE(Gauge(a, bake::CONCC_DEV_IDLE, 3000, ControlState::CF_IDLE));
    ra->Set().SetChartSelected(ra->Channels().Id(document::kTempMain), true);
    // B is the active controller, and bakes; A's record goes to A.
    frame_->ActivateSession(b);
    frame_->MdiArea()->setActiveSubWindow(app_.Documents()->WindowOf(ra));
    ASSERT_EQ(ra, app_.Documents()->ActiveDocument());
    QAction* upload = frame_->Commands().uploadProfile;
    ASSERT_TRUE(PumpUntil([&] { return upload->isEnabled(); }));
    const size_t sentByB = links_[1].sent.size();
    const size_t sentByA = links_[0].sent.size();
    upload->trigger();
    EXPECT_TRUE(box_.messages.empty())
        << QString::fromStdWString(box_.messages[0].text).toStdString();
    ASSERT_EQ(sentByA + 1, links_[0].sent.size());
    EXPECT_EQ(bake::CONCC_PKT_SET_PROFILE, uitest::GetU32(links_[0].sent.back(), 0));
    EXPECT_EQ(sentByB, links_[1].sent.size());
    // A bakes again: its record may not upload, though another is Idle.
    ASSERT_TRUE(Gauge(a, bake::CONCC_DEV_BAKING, 4000, ControlState::CF_BAKING));
    ASSERT_TRUE(Gauge(b, bake::CONCC_DEV_IDLE, 4000, ControlState::CF_IDLE));
    frame_->MdiArea()->setActiveSubWindow(app_.Documents()->WindowOf(ra));
    EXPECT_FALSE(upload->isEnabled());
}

TEST_F(SeveralControllers, AddDeviceJoinsTheOthersAndAFailedOneGoesAgain) {
    ASSERT_TRUE(Start());
    ControllerSession* a = Session(0);
    ASSERT_TRUE(Connected(a));
    QAction* add = frame_->Commands().addDevice;
    ASSERT_TRUE(add->isVisible() && add->isEnabled());
    EXPECT_FALSE(frame_->Commands().connectDevice->isEnabled());  // as with one controller
    selector_.answers = {{{QStringLiteral("10.0.0.2"), QStringLiteral("1002")},
                          {QStringLiteral("10.0.0.3"), QStringLiteral("1003")}}};
    const int before = selector_.calls;
    add->trigger();
    EXPECT_EQ(before + 1, selector_.calls);
    ASSERT_EQ(3, frame_->Sessions()->Count());
    ASSERT_EQ(3u, links_.size());
    EXPECT_EQ("10.0.0.2", links_[1].connects.at(0).host);
    EXPECT_EQ("10.0.0.3", links_[2].connects.at(0).host);
    EXPECT_TRUE(a->Connected());
    EXPECT_TRUE(links_[0].disconnects.empty());

    // 1003 refuses: said once, naming it in the log; its pane goes and the
    // selection comes back (cancelled here).
    QPointer<ControllerSession> c = Session(2);
    c->Bridge()->OnConnectFailed(devlink::EIOCPE_SIGNATURE_DIFF, 0);
    ASSERT_TRUE(PumpUntil([&] { return !c; }));
    EXPECT_EQ(before + 2, selector_.calls);
    ASSERT_EQ(1u, box_.messages.size());
    EXPECT_EQ(0u, box_.messages[0].text.rfind(L"Unable to connect : ", 0));
    ASSERT_TRUE(PumpUntil([&] {
        return !Lines()
                    .filter(QStringLiteral("ERR ["))
                    .filter(QStringLiteral("] : 1003: Unable to connect : "))
                    .isEmpty();
    }));
    EXPECT_EQ(2, frame_->Sessions()->Count());
    EXPECT_EQ(QStringLiteral("10.0.0.1"), a->Dock()->windowTitle());
    EXPECT_TRUE(a->Connected());
}

TEST(CommandLine, ConnectMayBeGivenSeveralTimes) {
    const struct {
        QStringList args;
        QStringList hosts;
    } cases[] = {
        {{"calvero"}, {}},
        {{"calvero", "--connect", "a"}, {"a"}},
        {{"calvero", "--connect", "a", "--connect=b"}, {"a", "b"}},
        {{"calvero", "--connect", "a", "--connect", "a"}, {"a"}},
    };
    for (const auto& c : cases) {
        CommandLineOptions o;
        int code = -1;
        QString out, err;
        ASSERT_EQ(CommandLineAction::Run, ParseCommandLine(c.args, &o, &code, &out, &err))
            << err.toStdString();
        EXPECT_EQ(c.hosts, o.connectHosts);
        EXPECT_EQ(c.hosts.value(0), o.connectHost);
    }
}

TEST_F(SeveralControllers, AnAlarmNamesItsControllerAndWaitsForTheOperator) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(app_.Alarms()->Dock()->isVisible());  // one controller: as it always was
    ASSERT_TRUE(TwoBaking());
    EXPECT_TRUE(app_.Alarms()->Dock()->isVisible());  // the second brings the Overview
    ControllerSession* a = Session(0);
    ControllerSession* b = Session(1);

    // b runs a profile that peaks at 200 °C and its plate reads 250 °C.
    bake::CONCC_TempProfile report;
    report.header = {bake::CONCC_PKT_GET_PROFILE, 0, 0};
    report.startTime = 2000;
    report.points = {{0, 2500}, {60000, 20000}};
    const std::vector<uint8_t> r = bake::EncodeTempProfile(report);
    b->Bridge()->OnPacket(r.data(), uint32_t(r.size()), 0);
    const std::vector<uint8_t> hot = test_support::GaugePacket(
        {.timestamp = 3000, .devState = bake::CONCC_DEV_BAKING, .tempMain = 25000});
    b->Bridge()->OnPacket(hot.data(), uint32_t(hot.size()), 0);
    ASSERT_TRUE(PumpUntil([&] { return app_.Alarms()->RowOf(b)->needsOperator; }));

    EXPECT_FALSE(app_.Alarms()->RowOf(a)->needsOperator);
    EXPECT_EQ(0u, app_.Alarms()->RowOf(b)->alarm.rfind("1002: main temperature", 0))
        << app_.Alarms()->RowOf(b)->alarm;
    EXPECT_EQ(1,
              Lines().filter(QRegularExpression(QStringLiteral("1002: main temperature"))).size());
    auto* indicator = frame_->statusBar()->findChild<QLabel*>(QStringLiteral("AlarmIndicator"));
    ASSERT_NE(nullptr, indicator);
    EXPECT_TRUE(indicator->isVisible());
    EXPECT_TRUE(indicator->text().contains(QStringLiteral("1002")));
    EXPECT_FALSE(b->Dock()->styleSheet().isEmpty());  // its pane is marked
    EXPECT_TRUE(a->Dock()->styleSheet().isEmpty());

    // Acknowledging acts on the active controller only: a's has nothing to stop.
    frame_->ActivateSession(a);
    EXPECT_FALSE(frame_->Commands().acknowledgeAlarms->isEnabled());
    frame_->ActivateSession(b);
    ASSERT_TRUE(frame_->Commands().acknowledgeAlarms->isEnabled());
    frame_->Commands().acknowledgeAlarms->trigger();
    EXPECT_FALSE(app_.Alarms()->RowOf(b)->needsOperator);
    EXPECT_FALSE(indicator->isVisible());
    EXPECT_TRUE(b->Dock()->styleSheet().isEmpty());
    // Still hot: the row still says so, without asking for anyone.
    EXPECT_FALSE(app_.Alarms()->RowOf(b)->alarm.empty());
}
