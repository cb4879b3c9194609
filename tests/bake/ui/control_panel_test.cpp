#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/ui/bake_options_dialog.h"
#include "bake/ui/control_panel.h"
#include "bake/ui/segment_display.h"
#include "link/link_errors.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/ui_test_support.h"

using uitest::FakeLink;
using uitest::GetU32;
using uitest::Header;
using uitest::PutU32;
using uitest::RecordedMessage;
using uitest::RecordingMessageBox;
using uitest::RecordingTraceLog;

namespace {

struct Readings {
    int32_t tempMain = -1, temp1 = -1, temp2 = -1, temp3 = -1;
};

std::vector<uint8_t> Gauge(uint32_t devState, uint64_t timestamp = 0, Readings r = {}) {
    return test_support::GaugePacket({.timestamp = timestamp,
                                      .devState = devState,
                                      .tempMain = r.tempMain,
                                      .temp1 = r.temp1,
                                      .temp2 = r.temp2,
                                      .temp3 = r.temp3});
}

// What the panel's signals told, in order, one short line each: "state 2",
// "start 5000", "gauge 5000", "profile 1000/2", "end idle", "end link",
// "result 0"; "box" when a message box opened.
struct Signals {
    explicit Signals(bake::ui::ControlPanel& panel) {
        using bake::ui::ControlPanel;
        QObject::connect(&panel, &ControlPanel::stateChanged, [this](bake::ui::ControlState s) {
            lines.push_back("state " + std::to_string(uint32_t(s)));
        });
        QObject::connect(&panel, &ControlPanel::bakeStarted,
                         [this](uint64_t t) { lines.push_back("start " + std::to_string(t)); });
        QObject::connect(&panel, &ControlPanel::bakeEnded, [this](bake::ui::BakeEnd how) {
            lines.push_back(how == bake::ui::BakeEnd::ControllerIdle ? "end idle" : "end link");
        });
        QObject::connect(&panel, &ControlPanel::gaugeReceived,
                         [this](const bake::CONCC_GaugeData& g) {
                             lines.push_back("gauge " + std::to_string(g.timestamp));
                         });
        QObject::connect(&panel, &ControlPanel::profileReported,
                         [this](const bake::CONCC_TempProfile& r) {
                             lines.push_back("profile " + std::to_string(r.startTime) + "/" +
                                             std::to_string(r.points.size()));
                         });
        QObject::connect(&panel, &ControlPanel::bakeResultReceived,
                         [this](const bake::CONCC_BakeResult& r) {
                             lines.push_back("result " + std::to_string(r.bakeError));
                         });
    }
    size_t Count(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& l : lines) n += l.rfind(prefix, 0) == 0;
        return n;
    }
    std::vector<std::string> lines;
};

class ControlFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel.SetLink(&link);
        panel.SetTraceLog(&log);
        panel.SetMessageBox(&box);
    }

    void Feed(const std::vector<uint8_t>& p) {
        panel.OnPacket(p.data(), static_cast<uint32_t>(p.size()));
    }

    // Types of the packets sent so far.
    std::vector<uint32_t> SentTypes() const {
        std::vector<uint32_t> t;
        for (const auto& s : link.sent) t.push_back(GetU32(s, 0));
        return t;
    }

    int LogCount(const std::wstring& text) const {
        int n = 0;
        for (const auto& l : log.lines) n += l.kind == 'E' && l.source == L"USB" && l.text == text;
        return n;
    }

    FakeLink link;
    RecordingTraceLog log;
    RecordingMessageBox box;
    bake::ui::ControlPanel panel;
    Signals told{panel};
};

}  // namespace

// ---- the state machine ----------------------------------------------------------

TEST_F(ControlFrameTest, StateTableDrivenByLinkEventsAndGaugePackets) {
    enum Ev : uint32_t { C = 1000, D = 1001 };  // connect, disconnect; others: a gauge devState
    struct Case {
        std::vector<uint32_t> events;
        bake::ui::ControlState state;
        const char* status;
        const char* button;
        bool enabled;
        size_t bakes;
        std::vector<uint32_t> sent;
    };
    const Case cases[] = {
        {{}, bake::ui::ControlState::CF_DISCONNECTED, "Not connected", "Start", false, 0, {}},
        {{D}, bake::ui::ControlState::CF_DISCONNECTED, "Not connected", "Start", false, 0, {}},
        {{C}, bake::ui::ControlState::CF_WAIT_FOR_DATA, "Wait for data", "Start", false, 0, {}},
        {{C, 1}, bake::ui::ControlState::CF_IDLE, "Idle", "B A K E", true, 0, {}},
        // Connecting to a controller that is already baking.
        {{C, 2}, bake::ui::ControlState::CF_BAKING, "Baking", "A B O R T", true, 1, {34}},
        {{C, 3}, bake::ui::ControlState::CF_BAKING, "Baking", "A B O R T", true, 1, {34}},
        {{C, 0}, bake::ui::ControlState::CF_BAKING, "Baking", "A B O R T", true, 1, {34}},
        {{C, 1, 3}, bake::ui::ControlState::CF_IDLE, "Idle", "B A K E", true, 0, {}},
        {{C, 1, 1, 2}, bake::ui::ControlState::CF_BAKING, "Baking", "A B O R T", true, 1, {34}},
        {{C, 2, 3, 2, 0}, bake::ui::ControlState::CF_BAKING, "Baking", "A B O R T", true, 1, {34}},
        {{C, 2, 1}, bake::ui::ControlState::CF_IDLE, "Idle", "B A K E", true, 1, {34}},
        {{C, 2, D},
         bake::ui::ControlState::CF_DISCONNECTED,
         "Disconnected",
         "A B O R T",
         false,
         1,
         {34}},
        {{C, 2, D, C},
         bake::ui::ControlState::CF_WAIT_FOR_DATA,
         "Wait for data",
         "A B O R T",
         false,
         1,
         {34}},
        {{C, 2, D, C, 2},
         bake::ui::ControlState::CF_BAKING,
         "Baking",
         "A B O R T",
         true,
         2,
         {34, 34}},
        {{C, 1, D, D},
         bake::ui::ControlState::CF_DISCONNECTED,
         "Disconnected",
         "B A K E",
         false,
         0,
         {}},
    };
    for (const Case& c : cases) {
        bake::ui::ControlPanel p;
        FakeLink l;
        Signals pt(p);
        p.SetLink(&l);
        std::string trace;
        for (uint32_t e : c.events) {
            trace += std::to_string(e) + " ";
            if (e == C) {
                p.OnDeviceConnected();
            } else if (e == D) {
                p.OnDeviceDisconnected();
            } else {
                const auto g = Gauge(e);
                p.OnPacket(g.data(), static_cast<uint32_t>(g.size()));
            }
        }
        SCOPED_TRACE("events " + trace);
        EXPECT_EQ(p.State(), c.state);
        EXPECT_EQ(p.StatusField()->text().toStdString(), c.status);
        EXPECT_EQ(p.StartAbortButton()->text().toStdString(), c.button);
        EXPECT_EQ(p.StartAbortButton()->isEnabled(), c.enabled);
        EXPECT_EQ(p.CooldownButton()->isEnabled(), c.enabled);
        EXPECT_EQ(pt.Count("start"), c.bakes);
        // Every bake that began and is over was ended once.
        const bool running = c.state == bake::ui::ControlState::CF_BAKING;
        EXPECT_EQ(pt.Count("end"), c.bakes - (running ? 1 : 0));
        std::vector<uint32_t> types;
        for (const auto& s : l.sent) types.push_back(GetU32(s, 0));
        EXPECT_EQ(types, c.sent);
    }
}

TEST_F(ControlFrameTest, ConnectionEventsAreLoggedOnceEach) {
    panel.OnDeviceConnected();
    panel.OnDeviceDisconnected();
    panel.OnDeviceDisconnected();  // a second disconnect in a row does nothing
    EXPECT_EQ(LogCount(L"Device Connected!"), 1);
    EXPECT_EQ(LogCount(L"Device Disconnected!"), 1);
    EXPECT_EQ(log.lines.size(), 2u);
}

TEST_F(ControlFrameTest, ABakeIsToldInOrderWithEveryGaugePacketDecoded) {
    panel.OnDeviceConnected();
    told.lines.clear();
    // Connecting to a controller that is already baking: the packet that
    // showed the bake comes after its start, at the start time.
    Feed(Gauge(2, 5000));
    EXPECT_EQ(told.lines, (std::vector<std::string>{"state 3", "start 5000", "gauge 5000"}));
    told.lines.clear();
    Feed(Gauge(2, 5250));
    Feed(Gauge(2, 5250));  // repeated: told all the same; the record drops it
    // The running profile's report while baking.
    std::vector<uint8_t> report = Header(34, 0, 0, 24 + 16);
    PutU32(report, 12, 1000);
    PutU32(report, 20, 2);
    Feed(report);
    Feed(Gauge(1, 5500));  // back to idle: the bake is over
    EXPECT_EQ(told.lines, (std::vector<std::string>{"gauge 5250", "gauge 5250", "profile 1000/2",
                                                    "state 2", "end idle", "gauge 5500"}));
    told.lines.clear();
    Feed(report);  // a report while idle belongs to no bake
    Feed(Gauge(3, 5600));
    EXPECT_EQ(told.lines, (std::vector<std::string>{"gauge 5600"}));
}

TEST_F(ControlFrameTest, ABakeResultIsToldBeforeItsBoxOpens) {
    panel.OnDeviceConnected();
    box.onShow = [this] { told.lines.push_back("box"); };
    told.lines.clear();
    for (uint32_t error : {0u, bake::kResultOverheat}) {
        const auto r = bake::EncodeBakeResult({{bake::CONCC_PKT_BAKE_RESULT, 0, 0}, 120, error});
        Feed(std::vector<uint8_t>(r.begin(), r.end()));
    }
    const std::string overheat = "result " + std::to_string(bake::kResultOverheat);
    EXPECT_EQ(told.lines, (std::vector<std::string>{"result 0", "box", overheat, "box"}));
    // A packet too short to hold a result tells nothing.
    told.lines.clear();
    Feed(Header(bake::CONCC_PKT_BAKE_RESULT, 0, 0, 12));
    EXPECT_EQ(0u, told.Count("result"));
}

TEST_F(ControlFrameTest, ALinkLostDuringABakeEndsIt) {
    struct Case {
        const char* what;
        std::function<void()> lose;
        std::vector<std::string> told;
    };
    const Case cases[] = {
        {"disconnected", [&] { panel.OnDeviceDisconnected(); }, {"state 0", "end link"}},
        // A new connection reported without the old one's end.
        {"connected anew", [&] { panel.OnDeviceConnected(); }, {"state 1", "end link"}},
    };
    uint64_t t = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        panel.OnDeviceConnected();
        Feed(Gauge(2, t += 100));
        told.lines.clear();
        c.lose();
        EXPECT_EQ(told.lines, c.told);
        panel.OnDeviceDisconnected();
        panel.OnDeviceConnected();
        told.lines.clear();
        Feed(Gauge(1, t += 100));  // the controller finished meanwhile
        EXPECT_EQ(told.lines, (std::vector<std::string>{"state 2", "gauge " + std::to_string(t)}));
        panel.OnDeviceDisconnected();
    }
}

TEST_F(ControlFrameTest, StatusFieldColoursFollowTheState) {
    auto colours = [&] {
        const QPalette p = panel.StatusField()->palette();
        return std::pair{p.color(QPalette::Base), p.color(QPalette::Text)};
    };
    EXPECT_EQ(colours(), (std::pair{QColor(0, 0, 0), QColor(255, 255, 255)}));
    panel.OnDeviceConnected();
    EXPECT_EQ(colours(), (std::pair{QColor(0, 0, 0), QColor(255, 255, 255)}));
    Feed(Gauge(1));
    EXPECT_EQ(colours(), (std::pair{QColor(0, 255, 0), QColor(0, 0, 0)}));
    Feed(Gauge(2));
    EXPECT_EQ(colours(), (std::pair{QColor(255, 128, 0), QColor(0, 0, 0)}));
    panel.OnDeviceDisconnected();
    EXPECT_EQ(colours(), (std::pair{QColor(0, 0, 0), QColor(255, 255, 255)}));
}

// ---- read-outs ------------------------------------------------------------------

TEST_F(ControlFrameTest, ReadoutsShowHundredthsOnTheMainAndDegreesOnTheSensors) {
    panel.OnDeviceConnected();
    Feed(Gauge(1, 0, {123456, 99, 25099, 30000}));
    EXPECT_EQ(panel.MainReadout()->Value(), 123456u);  // the display drops the highest digit
    EXPECT_FALSE(panel.MainReadout()->IsBlank());
    EXPECT_EQ(panel.SensorReadout(1)->Value(), 0u);  // 0.99 degrees
    EXPECT_EQ(panel.SensorReadout(2)->Value(), 250u);
    EXPECT_EQ(panel.SensorReadout(3)->Value(), 300u);
    EXPECT_FALSE(panel.SensorReadout(1)->IsBlank());

    // A reading that turns negative blanks its read-out.
    Feed(Gauge(1, 0, {123456, -1, 25099, 30000}));
    EXPECT_TRUE(panel.SensorReadout(1)->IsBlank());
    EXPECT_FALSE(panel.SensorReadout(2)->IsBlank());

    panel.OnDeviceDisconnected();
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(panel.SensorReadout(i)->IsBlank()) << i;
    EXPECT_TRUE(panel.MainReadout()->IsBlank());
}

TEST_F(ControlFrameTest, OnlyChangedReadingsRedrawTheirReadout) {
    panel.OnDeviceConnected();
    Feed(Gauge(1, 0, {2500, 2400, 2300, -1}));
    // A read-out that was set and is not touched again keeps its picture.
    panel.MainReadout()->SetBlank();
    Feed(Gauge(1, 0, {2500, 2450, 2300, -1}));
    EXPECT_TRUE(panel.MainReadout()->IsBlank());  // unchanged tempMain: not refreshed
    EXPECT_EQ(panel.SensorReadout(1)->Value(), 24u);

    // After a reconnect, -1 equals the reset value: the blank read-out stays
    // blank, and every reading with a value is shown again.
    panel.OnDeviceDisconnected();
    panel.OnDeviceConnected();
    Feed(Gauge(1, 0, {2500, -1, 2300, -1}));
    EXPECT_EQ(panel.MainReadout()->Value(), 2500u);
    EXPECT_FALSE(panel.MainReadout()->IsBlank());
    EXPECT_TRUE(panel.SensorReadout(1)->IsBlank());
    EXPECT_TRUE(panel.SensorReadout(3)->IsBlank());
}

// ---- buttons and commands ----------------------------------------------------------

TEST_F(ControlFrameTest, ButtonsSendStartAbortAndCooldown) {
    panel.StartAbortButton()->click();  // disabled before data
    panel.Protocol().SetSequenceId(7);
    panel.OnDeviceConnected();
    panel.StartAbortButton()->click();  // still waiting for data
    EXPECT_TRUE(link.sent.empty());

    Feed(Gauge(1));
    panel.StartAbortButton()->click();
    panel.CooldownButton()->click();
    Feed(Gauge(2));  // sends request 34
    panel.StartAbortButton()->click();
    EXPECT_EQ(panel.State(), bake::ui::ControlState::CF_BAKING);  // a click changes no state

    ASSERT_EQ(link.sent.size(), 4u);
    const uint32_t expected[][2] = {{16, 1}, {16, 3}, {34, 0}, {16, 2}};
    for (size_t i = 0; i < 4; ++i) {
        const auto& s = link.sent[i];
        EXPECT_EQ(GetU32(s, 0), expected[i][0]) << i;
        EXPECT_EQ(GetU32(s, 4), 0u);
        EXPECT_EQ(GetU32(s, 8), 7u) << "sending leaves the sequence ID as it is";
        if (expected[i][0] == 16) {
            ASSERT_EQ(s.size(), 16u);
            EXPECT_EQ(GetU32(s, 12), expected[i][1]) << i;
        } else {
            EXPECT_EQ(s.size(), 12u);
        }
    }
}

TEST_F(ControlFrameTest, RefusedSendIsLoggedAndShownWithTheLinkText) {
    link.sendResult = devlink::EIOCPE_WSAEHOSTUNREACH;
    const std::string text = devlink::LinkErrorText(devlink::EIOCPE_WSAEHOSTUNREACH);
    const std::wstring wide(text.begin(), text.end());
    panel.SendStartStopCommand(1);
    panel.SendRequest(49);
    ASSERT_EQ(box.messages.size(), 2u);
    EXPECT_EQ(box.messages[0], (RecordedMessage{wide, platform::MessageIcon::Error}));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], (uitest::RecordedTrace{'E', L"SendStartStopCommand", wide}));
    EXPECT_EQ(log.lines[1].source, L"SendTestCommand");
    EXPECT_EQ(panel.SequenceId(), 1u);
}

// ---- replies ----------------------------------------------------------------------

TEST_F(ControlFrameTest, EachReplyTypeEndsInItsMessage) {
    auto bakeResult = [](uint32_t time, uint32_t error) {
        auto p = Header(17, 0, 0, 20);
        PutU32(p, 12, time);
        PutU32(p, 16, error);
        return p;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> packet;
        std::vector<RecordedMessage> messages;
    };
    const Case cases[] = {
        {"start accepted", Header(16, 0, 0), {}},
        {"abort refused",
         Header(16, 4, 0),
         {{L"Not in baking process!", platform::MessageIcon::Error}}},
        {"baked",
         bakeResult(300, 0),
         {{L"Successfully baked! Bake time : 300", platform::MessageIcon::None}}},
        {"bake failed",
         bakeResult(42, 10),
         {{L"Error : Overheat!! Bake time : 42", platform::MessageIcon::Error}}},
        {"profile set",
         Header(32, 0, 0),
         {{L"Temperature profile set, you can bake now!", platform::MessageIcon::None}}},
        {"profile refused",
         Header(32, 13, 0),
         {{L"Invalid temperature profile packet!", platform::MessageIcon::Error}}},
        {"options set",
         Header(48, 0, 0),
         {{L"Bake options set successfully!", platform::MessageIcon::Information}}},
        {"options refused",
         Header(48, 3, 0),
         {{L"Error while set bake options : Bad params!", platform::MessageIcon::Error}}},
        {"options reply with an error",
         Header(49, 3, 0, 28),
         {{L"Bad params!", platform::MessageIcon::Error}}},
        {"short options reply",
         Header(49, 0, 0, 27),
         {{L"Invalid packet received from device for bake options!",
           platform::MessageIcon::Error}}},
        {"long options reply",
         Header(49, 0, 0, 29),
         {{L"Invalid packet received from device for bake options!",
           platform::MessageIcon::Error}}},
        {"unknown code", Header(16, 14, 0), {{L"Unknown error", platform::MessageIcon::Error}}},
        {"profile report while idle", Header(34, 0, 0, 24), {}},
        {"unknown type", Header(40, 0, 0), {}},
    };
    for (const Case& c : cases) {
        RecordingMessageBox b;
        bake::ui::ControlPanel p;
        int dialogs = 0;
        p.SetMessageBox(&b);
        p.SetBakeOptionsEditor([&](uint8_t*) { return ++dialogs, false; });
        p.OnPacket(c.packet.data(), static_cast<uint32_t>(c.packet.size()));
        EXPECT_EQ(b.messages, c.messages) << c.what;
        EXPECT_EQ(dialogs, 0) << c.what;
    }
}

TEST_F(ControlFrameTest, OptionsReplyOpensTheEditorAndConfirmedValuesGoBack) {
    std::vector<uint8_t> reply = Header(49, 0, 0, 28);
    PutU32(reply, 12, 0xFFFFFFFF);
    PutU32(reply, 16, 98304);
    panel.Protocol().SetSequenceId(41);

    std::vector<std::vector<uint8_t>> seen;
    bool confirm = false;
    panel.SetBakeOptionsEditor([&](uint8_t* packet) {
        seen.emplace_back(packet, packet + 28);
        if (confirm)
            PutU32(seen.back(), 20, 6553), std::memcpy(packet, seen.back().data(), 28);
        return confirm;
    });
    Feed(reply);  // cancelled: nothing is sent
    EXPECT_TRUE(link.sent.empty());
    confirm = true;
    Feed(reply);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], reply);
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& sent = link.sent[0];
    ASSERT_EQ(sent.size(), 28u);
    EXPECT_EQ(GetU32(sent, 0), 48u);
    EXPECT_EQ(GetU32(sent, 4), 0u);
    EXPECT_EQ(GetU32(sent, 8), 43u);  // two replies advanced the counter
    EXPECT_EQ(GetU32(sent, 16), 98304u);
    EXPECT_EQ(GetU32(sent, 20), 6553u);
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(ControlFrameTest, OptionsRoundTripThroughTheDialog) {
    std::vector<uint8_t> reply = Header(49, 0, 0, 28);
    PutU32(reply, 12, 0xFFFFFFFF);
    PutU32(reply, 16, 98304);       // 1.5
    PutU32(reply, 20, 0x00020000);  // 2
    PutU32(reply, 24, 0);

    QString shownKp;
    bool shownChecks = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<bake::ui::BakeOptionsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        shownKp = dlg->KpEdit()->text();
        shownChecks =
            dlg->IgnoreSensorDiffBox()->isChecked() && dlg->UseSecondarySensorBox()->isChecked();
        dlg->KdEdit()->setText(QStringLiteral("0.1"));
        dlg->OnOK();
    });
    Feed(reply);
    EXPECT_EQ(shownKp, QStringLiteral("1.5"));
    EXPECT_TRUE(shownChecks);
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& sent = link.sent[0];
    EXPECT_EQ(GetU32(sent, 0), 48u);
    EXPECT_EQ(GetU32(sent, 12), 3u);  // only the two known option bits survive
    EXPECT_EQ(GetU32(sent, 16), 98304u);
    EXPECT_EQ(GetU32(sent, 20), 0x00020000u);
    EXPECT_EQ(GetU32(sent, 24), 6553u);
}

// ---- the pane -------------------------------------------------------------------

TEST(ControlWnd, PanelFillsThePaneAndKeepsItsTemplateSize) {
    bake::ui::ControlDock pane;
    pane.resize(600, 700);
    pane.show();
    uitest::Pump();
    bake::ui::ControlPanel* panel = pane.Frame();
    EXPECT_EQ(panel->parentWidget(), &pane);
    EXPECT_GE(panel->width(), panel->TemplateSize().width());
    EXPECT_GE(panel->height(), panel->TemplateSize().height());
    EXPECT_EQ(panel->minimumSize(), panel->TemplateSize());
    EXPECT_EQ(panel->StatusField()->text(), QStringLiteral("Not connected"));
}

// ---- events delivered while a box or dialog is open ----------------------------

TEST_F(ControlFrameTest, AFailedProfileRequestShowsItsBoxAfterTheBakeBegan) {
    panel.OnDeviceConnected();
    Feed(Gauge(1, 1000));
    link.sendResult = devlink::EIOCPE_WSAECONNRESET;
    // While the box is open the link drops, then comes back to a baking controller.
    int shown = 0;
    bake::ui::ControlState stateWhenShown = bake::ui::ControlState::CF_DISCONNECTED;
    box.onShow = [&] {
        if (shown++)
            return;
        stateWhenShown = panel.State();
        Feed(Gauge(2, 1250));  // a second Baking packet: no second document
        panel.OnDeviceDisconnected();
    };
    Feed(Gauge(2, 1100));
    EXPECT_EQ(bake::ui::ControlState::CF_BAKING, stateWhenShown);
    EXPECT_EQ(1u, told.Count("start"));
    // The packet that began the bake is told first even though a newer one
    // was handled while the box was open.
    std::vector<std::string> gauges;
    for (const auto& l : told.lines) {
        if (l.rfind("gauge", 0) == 0)
            gauges.push_back(l);
    }
    EXPECT_EQ((std::vector<std::string>{"gauge 1000", "gauge 1100", "gauge 1250"}), gauges);
    EXPECT_EQ(bake::ui::ControlState::CF_DISCONNECTED, panel.State());
    EXPECT_EQ(QStringLiteral("Disconnected"), panel.StatusField()->text());
    EXPECT_FALSE(panel.StartAbortButton()->isEnabled());
    // One profile request was tried (and refused), not two.
    EXPECT_EQ(1u, box.messages.size());
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(ControlFrameTest, EventsDuringTheOptionsDialogAreHandledAndStopItsSend) {
    panel.OnDeviceConnected();
    Feed(Gauge(1, 1000));
    std::vector<uint8_t> reply = Header(49, 0, 0, 28);
    struct Case {
        const char* what;
        std::function<void()> during;
        size_t sent;
        bake::ui::ControlState after;
    };
    const Case cases[] = {
        {"nothing happens", [] {}, 1, bake::ui::ControlState::CF_IDLE},
        {"a bake begins", [&] { Feed(Gauge(2, 2000)); }, 1,
         bake::ui::ControlState::CF_BAKING},  // only its profile request
        {"the link drops", [&] { panel.OnDeviceDisconnected(); }, 0,
         bake::ui::ControlState::CF_DISCONNECTED},
    };
    uint64_t t = 3000;
    for (const Case& c : cases) {
        panel.OnDeviceConnected();
        Feed(Gauge(1, t += 1000));
        link.sent.clear();
        panel.SetBakeOptionsEditor([&](uint8_t*) {
            c.during();
            return true;
        });
        Feed(reply);
        EXPECT_EQ(c.after, panel.State()) << c.what;
        EXPECT_EQ(c.sent, link.sent.size()) << c.what;
        if (c.sent) {
            EXPECT_EQ(c.after == bake::ui::ControlState::CF_BAKING ? 34u : 48u,
                      GetU32(link.sent[0], 0))
                << c.what;
        }
    }
}
