// The live record: which document records, which values reach it, when it
// is saved, and the bytes of the file a bake leaves. The recorder is told
// what the control panel would tell it; only the last test has a panel.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QPointer>

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "document/live_recorder.h"
#include "document/record_name.h"
#include "tests/support/document_window.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

using test_support::WindowOf;
namespace {

std::vector<uint8_t> Gauge(uint32_t devState, uint64_t timestamp, int32_t tempMain,
                           uint32_t fanRpm = 1200) {
    bake::CONCC_GaugeData g;
    g.header.type = bake::CONCC_PKT_GAUGE_DATA;
    g.timestamp = timestamp;
    g.devState = devState;
    g.setupTemp = 15000;
    g.fanRpm = fanRpm;
    g.tempMain = tempMain;
    g.temp1 = tempMain - 150;
    g.temp2 = -1;
    g.temp3 = tempMain + 33;
    g.boardTemp = 3125;
    g.heaterPercent = 57;
    g.fanPercent = 12;
    const auto bytes = bake::EncodeGaugeData(g);
    return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> Report(uint64_t startTime, uint32_t seq) {
    bake::CONCC_TempProfile p;
    p.header = {bake::CONCC_PKT_GET_PROFILE, 0, seq};
    p.startTime = startTime;
    p.points = {{0, 2500}, {90000, 15000}, {180000, 24500}, {240000, 5000}};
    return bake::EncodeTempProfile(p);
}

// What the packets of ABakeLeavesExactlyTheseBytes give.
constexpr char16_t kExpectedRecord[] =
    uR"(<?xml version="1.0" encoding="utf-16"?>
<Charts>
	<Chart Name="Setup Temp" DashStyle="0" Color="-23296" PenWidth="1.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="0.000000" Y="150.000000"/>
		<Data X="0.250000" Y="150.000000"/>
		<Data X="1.000000" Y="150.000000"/>
		<Data X="2.333000" Y="150.000000"/>
	</Chart>
	<Chart Name="Profile" DashStyle="0" Color="-23296" PenWidth="2.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="-2.500000" Y="25.000000"/>
		<Data X="87.500000" Y="150.000000"/>
		<Data X="177.500000" Y="245.000000"/>
		<Data X="237.500000" Y="50.000000"/>
	</Chart>
	<Chart Name="Fan" DashStyle="0" Color="-16776961" PenWidth="1.000000" Tension="0.000000" Y_Label="RPM">
		<Data X="0.000000" Y="1200.000000"/>
		<Data X="0.250000" Y="1200.000000"/>
		<Data X="1.000000" Y="-10.000000"/>
		<Data X="2.333000" Y="0.000000"/>
	</Chart>
	<Chart Name="Temp Main" DashStyle="0" Color="-65536" PenWidth="1.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="0.000000" Y="25.000000"/>
		<Data X="0.250000" Y="26.330000"/>
		<Data X="1.000000" Y="-10.000000"/>
		<Data X="2.333000" Y="123.450000"/>
	</Chart>
	<Chart Name="Temp 1" DashStyle="0" Color="-7667712" PenWidth="1.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="0.000000" Y="23.500000"/>
		<Data X="0.250000" Y="24.830000"/>
		<Data X="1.000000" Y="-10.000000"/>
		<Data X="2.333000" Y="121.950000"/>
	</Chart>
	<Chart Name="Temp 2" DashStyle="0" Color="-7667712" PenWidth="1.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="0.000000" Y="-10.000000"/>
		<Data X="0.250000" Y="-10.000000"/>
		<Data X="1.000000" Y="-10.000000"/>
		<Data X="2.333000" Y="-10.000000"/>
	</Chart>
	<Chart Name="Temp 3" DashStyle="0" Color="-7667712" PenWidth="1.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="0.000000" Y="25.330000"/>
		<Data X="0.250000" Y="26.660000"/>
		<Data X="1.000000" Y="0.320000"/>
		<Data X="2.333000" Y="123.780000"/>
	</Chart>
	<Chart Name="Board Temp" DashStyle="0" Color="-3318692" PenWidth="1.000000" Tension="0.000000" Y_Label="Temperature">
		<Data X="0.000000" Y="31.250000"/>
		<Data X="0.250000" Y="31.250000"/>
		<Data X="1.000000" Y="31.250000"/>
		<Data X="2.333000" Y="31.250000"/>
	</Chart>
	<Chart Name="Heater" DashStyle="0" Color="-16777216" PenWidth="1.000000" Tension="0.000000" Y_Label="%">
		<Data X="0.000000" Y="57.000000"/>
		<Data X="0.250000" Y="57.000000"/>
		<Data X="1.000000" Y="57.000000"/>
		<Data X="2.333000" Y="57.000000"/>
	</Chart>
	<Chart Name="FAN" DashStyle="0" Color="-16777077" PenWidth="1.000000" Tension="0.000000" Y_Label="%">
		<Data X="0.000000" Y="12.000000"/>
		<Data X="0.250000" Y="12.000000"/>
		<Data X="1.000000" Y="12.000000"/>
		<Data X="2.333000" Y="12.000000"/>
	</Chart>
</Charts>
)";

using bake::ui::BakeEnd;
using bake::ui::ControlState;
using document::ChartDocument;

bake::CONCC_GaugeData Reading(uint64_t timestamp, int32_t tempMain) {
    bake::CONCC_GaugeData g;
    g.timestamp = timestamp;
    g.tempMain = tempMain;
    return g;
}

// The "Temp Main" points of a document as (x, y) pairs.
std::vector<std::pair<double, double>> MainPoints(const ChartDocument* doc) {
    std::vector<std::pair<double, double>> out;
    const int id = doc->Channels().Id(document::kTempMain);
    if (const chart::ChartSeries* s = id < 0 ? nullptr : doc->Set().FindChart(id)) {
        for (const chart::ChartPoint& p : s->Points()) out.emplace_back(p.x, p.y);
    }
    return out;
}

class Recorder : public ::testing::Test {
protected:
    Recorder() {
        area_.resize(800, 600);
        context_->recordsFolder = QString::fromStdString(dir_.Path("records"));
        context_->recoveryFolder = QString::fromStdString(dir_.Path("recovery"));
        context_->recoveryIntervalMs = 24 * 3600 * 1000;
        context_->askSaveChanges = [](QWidget*, const QString&) {
            return document::SaveChoice::Discard;
        };
    }
    ~Recorder() override { area_.closeAllSubWindows(); }

    // What the panel tells when a bake begins with a packet at `t`.
    void BakeBegins(uint64_t t, int32_t tempMain) {
        recorder_.OnStateChanged(ControlState::CF_BAKING);
        recorder_.OnBakeStarted(t);
        recorder_.OnGauge(Reading(t, tempMain));
    }
    void BakeEnds(BakeEnd how, ControlState state) {
        recorder_.OnStateChanged(state);
        recorder_.OnBakeEnded(how);
    }
    QStringList Records() const {
        return QDir(context_->recordsFolder).entryList({QStringLiteral("*.tvr")}, QDir::Files);
    }

    test_support::TempDir dir_;
    QMdiArea area_;
    std::shared_ptr<document::DocumentContext> context_ =
        std::make_shared<document::DocumentContext>();
    document::DocumentManager docs_{&area_, context_};
    document::LiveRecorder recorder_{&docs_};
};

}  // namespace

TEST_F(Recorder, TheReadingsGoToTheRecordOfTheMomentAndNowhereElse) {
    // File > New before any reading: a record from controller time 0.
    ChartDocument* first = recorder_.NewDocument();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, recorder_.Record());
    EXPECT_EQ(nullptr, recorder_.LiveRecord());
    recorder_.OnStateChanged(ControlState::CF_WAIT_FOR_DATA);
    recorder_.OnGauge(Reading(2000, 2500));
    recorder_.OnGauge(Reading(2000, 9900));  // not newer: dropped
    // Idle lets it go: what follows it does not get.
    recorder_.OnStateChanged(ControlState::CF_IDLE);
    EXPECT_EQ(nullptr, recorder_.Record());
    recorder_.OnGauge(Reading(3000, 2600));
    EXPECT_EQ((std::vector<std::pair<double, double>>{{2.0, 25.0}}), MainPoints(first));

    // File > New while Idle: a record that starts at the last reading.
    ChartDocument* idle = recorder_.NewDocument();
    recorder_.OnGauge(Reading(4500, 2700));
    EXPECT_EQ((std::vector<std::pair<double, double>>{{1.5, 27.0}}), MainPoints(idle));
    EXPECT_TRUE(idle->IsModified());
    EXPECT_FALSE(idle->IsLiveBake());

    // A bake: a record of its own from x = 0, which the profile report
    // reaches too; the idle one gets nothing more.
    BakeBegins(10000, 3000);
    ChartDocument* bake = recorder_.Record();
    ASSERT_NE(nullptr, bake);
    EXPECT_NE(idle, bake);
    EXPECT_EQ(bake, recorder_.LiveRecord());
    EXPECT_TRUE(bake->IsLiveBake());
    EXPECT_FALSE(bake->RecoveryPath().isEmpty());  // claimed as it opened
    bake::CONCC_TempProfile report;
    report.startTime = 8000;
    report.points = {{0, 2500}, {60000, 15000}};
    recorder_.OnProfileReport(report);
    // File > New during the bake: a blank document; the record goes on.
    ChartDocument* blank = recorder_.NewDocument();
    ASSERT_NE(nullptr, blank);
    EXPECT_FALSE(blank->Channels().Created());
    EXPECT_EQ(bake, recorder_.Record());
    recorder_.OnGauge(Reading(10500, 3100));
    EXPECT_EQ((std::vector<std::pair<double, double>>{{0.0, 30.0}, {0.5, 31.0}}), MainPoints(bake));
    EXPECT_EQ(1u, MainPoints(idle).size());
    const chart::ChartSeries* profile = bake->Set().FindChartByName(L"Profile");
    ASSERT_EQ(2u, profile->Points().size());
    EXPECT_EQ(-2.0, profile->Points()[0].x);
    EXPECT_EQ(58.0, profile->Points()[1].x);
}

TEST_F(Recorder, TheBakesRecordIsSavedWhenTheBakeEnds) {
    recorder_.OnStateChanged(ControlState::CF_IDLE);
    BakeBegins(1000, 2500);
    ChartDocument* doc = recorder_.Record();
    const QString recovery = doc->RecoveryPath();
    recorder_.OnGauge(Reading(2000, 2600));
    EXPECT_TRUE(Records().isEmpty());
    BakeEnds(BakeEnd::ControllerIdle, ControlState::CF_IDLE);
    ASSERT_EQ(1, Records().size());
    EXPECT_EQ(QDir(context_->recordsFolder).filePath(Records()[0]), doc->FilePath());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(doc->IsLiveBake());
    EXPECT_FALSE(QFile::exists(recovery));
    EXPECT_EQ(nullptr, recorder_.Record());
    EXPECT_EQ(nullptr, recorder_.LiveRecord());
    // What is in the file is what the bake gave.
    chart::ChartSet saved;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(saved.LoadChartsXml(doc->FilePath().toStdWString(), ids, error));
    const auto& points = saved.FindChartByName(L"Temp Main")->Points();
    ASSERT_EQ(2u, points.size());
    EXPECT_EQ(1.0, points[1].x);
    EXPECT_EQ(26.0, points[1].y);
    // A second end (none began) saves nothing more.
    recorder_.OnBakeEnded(BakeEnd::ControllerIdle);
    EXPECT_EQ(1, Records().size());
}

TEST_F(Recorder, ALinkLostMidBakeSavesTheRecordWhichWaitsForTheControllersState) {
    struct Case {
        const char* what;
        ControlState next;  // what the first packet after reconnecting says
        bool secondRecord;  // a further record opened for the bake
    };
    const Case cases[] = {
        {"the controller finished meanwhile", ControlState::CF_IDLE, false},
        {"it still bakes", ControlState::CF_BAKING, true},
    };
    uint64_t t = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BakeBegins(t += 1000, 2500);
        ChartDocument* first = recorder_.Record();
        recorder_.OnGauge(Reading(t += 500, 2550));
        BakeEnds(BakeEnd::LinkLost, ControlState::CF_DISCONNECTED);
        // Saved, and still the record until the controller is heard again.
        EXPECT_FALSE(first->IsModified());
        EXPECT_FALSE(first->FilePath().isEmpty());
        EXPECT_EQ(first, recorder_.Record());
        EXPECT_EQ(nullptr, recorder_.LiveRecord());
        recorder_.OnStateChanged(ControlState::CF_WAIT_FOR_DATA);
        EXPECT_EQ(first, recorder_.Record());
        if (c.next == ControlState::CF_BAKING) {
            BakeBegins(t += 500, 2600);
        } else {
            recorder_.OnStateChanged(c.next);
            recorder_.OnGauge(Reading(t += 500, 2600));
        }
        EXPECT_EQ(c.secondRecord, recorder_.Record() != nullptr);
        EXPECT_NE(first, recorder_.Record());
        EXPECT_EQ(2u, MainPoints(first).size());
        EXPECT_FALSE(first->IsModified());
        if (c.secondRecord)
            BakeEnds(BakeEnd::ControllerIdle, ControlState::CF_IDLE);
    }
    EXPECT_EQ(3, Records().size());
}

TEST_F(Recorder, AClosedRecordRecordsNoMore) {
    BakeBegins(1000, 2500);
    QPointer<ChartDocument> doc = recorder_.Record();
    ASSERT_TRUE(WindowOf(doc)->close());  // unsaved, discarded
    EXPECT_EQ(nullptr, recorder_.Record());
    EXPECT_EQ(nullptr, recorder_.LiveRecord());
    // Until it is deleted (later, by the event loop) it hears of nothing.
    recorder_.OnGauge(Reading(2000, 2600));
    ASSERT_TRUE(doc);
    EXPECT_EQ(1u, MainPoints(doc).size());
    BakeEnds(BakeEnd::ControllerIdle, ControlState::CF_IDLE);
    EXPECT_TRUE(Records().isEmpty());
    EXPECT_TRUE(QDir(context_->recoveryFolder).entryList(QDir::Files).isEmpty());
}

// Two controllers, each with its recorder, share the documents: each record
// is named after its controller, takes only its controller's readings and
// uploads to its controller alone, whichever is active.
TEST_F(Recorder, EachControllersRecordIsItsOwn) {
    document::LiveRecorder other{&docs_};
    std::vector<std::string> sentTo;
    recorder_.SetDeviceTag([] { return QStringLiteral("1001"); });
    other.SetDeviceTag([] { return QStringLiteral("1002"); });
    recorder_.SetProfileSender([&](auto) { sentTo.push_back("1001"); });
    other.SetProfileSender([&](auto) { sentTo.push_back("1002"); });
    recorder_.SetActive(false);
    other.SetActive(true);

    recorder_.OnStateChanged(ControlState::CF_IDLE);
    other.OnStateChanged(ControlState::CF_IDLE);
    BakeBegins(1000, 2500);
    other.OnStateChanged(ControlState::CF_BAKING);
    other.OnBakeStarted(5000);
    other.OnGauge(Reading(5000, 4000));
    ChartDocument* mine = recorder_.LiveRecord();
    ChartDocument* theirs = other.LiveRecord();
    ASSERT_TRUE(mine && theirs);
    ASSERT_NE(mine, theirs);
    EXPECT_EQ(QStringLiteral("1001"), mine->Device());
    EXPECT_TRUE(mine->RecoveryPath().endsWith(QStringLiteral("-1001.tvr")))
        << mine->RecoveryPath().toStdString();
    EXPECT_TRUE(theirs->RecoveryPath().endsWith(QStringLiteral("-1002.tvr")));
    recorder_.OnGauge(Reading(2000, 2600));
    EXPECT_EQ((std::vector<std::pair<double, double>>{{0.0, 25.0}, {1.0, 26.0}}), MainPoints(mine));
    EXPECT_EQ((std::vector<std::pair<double, double>>{{0.0, 40.0}}), MainPoints(theirs));
    // The documents without a controller follow the active one: Baking.
    EXPECT_FALSE(context_->controllerIdle);

    // The first one's bake ends: saved under its controller's name; the
    // other bakes on.
    BakeEnds(BakeEnd::ControllerIdle, ControlState::CF_IDLE);
    ASSERT_EQ(1, Records().size());
    EXPECT_TRUE(Records()[0].endsWith(QStringLiteral("-1001.tvr"))) << Records()[0].toStdString();
    EXPECT_TRUE(document::RecordFileTime(Records()[0]).isValid());
    EXPECT_TRUE(theirs->IsLiveBake());

    // Its upload goes to its controller, which is Idle, though the active
    // one bakes.
    const int profile = mine->Channels().Id(document::kTempMain);
    mine->Set().SetChartSelected(profile, true);
    EXPECT_TRUE(mine->CanUpload());
    mine->UploadBakeProfile();
    EXPECT_EQ((std::vector<std::string>{"1001"}), sentTo);
    // While its controller bakes it sends nothing, whatever the others do.
    recorder_.OnStateChanged(ControlState::CF_BAKING);
    other.OnStateChanged(ControlState::CF_IDLE);
    EXPECT_FALSE(mine->CanUpload());
    mine->UploadBakeProfile();
    EXPECT_EQ(1u, sentTo.size());
}

TEST_F(Recorder, ARecordOfAControllerThatLeftUploadsNothing) {
    auto gone = std::make_unique<document::LiveRecorder>(&docs_);
    int sent = 0;
    gone->SetProfileSender([&](auto) { ++sent; });
    context_->sendProfile = [&](auto) { sent += 100; };  // the active controller
    gone->OnStateChanged(ControlState::CF_IDLE);
    ChartDocument* doc = gone->NewDocument();
    ASSERT_NE(nullptr, doc);
    doc->Set().SetChartSelected(doc->Channels().Id(document::kTempMain), true);
    EXPECT_TRUE(doc->CanUpload());
    gone.reset();
    context_->controllerIdle = true;
    EXPECT_FALSE(doc->CanUpload());
    doc->UploadBakeProfile();
    EXPECT_EQ(0, sent);
}

namespace {}  // namespace

// The whole road, a real panel decoding the packets: the file a bake leaves
// in the records folder, byte for byte. The same packets always give the
// same record.
TEST(LiveRecordFile, ABakeLeavesExactlyTheseBytes) {
    test_support::TempDir dir;
    QMdiArea area;
    area.resize(800, 600);
    bake::ui::ControlPanel panel;
    uitest::FakeLink link;
    panel.SetLink(&link);
    auto context = std::make_shared<document::DocumentContext>();
    context->recordsFolder = QString::fromStdString(dir.Path("records"));
    context->recoveryFolder = QString::fromStdString(dir.Path("recovery"));
    document::DocumentManager docs(&area, context);
    document::LiveRecorder recorder(&docs);
    recorder.Listen(&panel);

    auto feed = [&](const std::vector<uint8_t>& p) {
        panel.OnPacket(p.data(), uint32_t(p.size()));
    };
    panel.OnDeviceConnected();
    feed(Gauge(bake::CONCC_DEV_IDLE, 99000, 2450));
    feed(Gauge(bake::CONCC_DEV_BAKING, 100000, 2500));
    feed(Report(97500, panel.SequenceId()));
    feed(Gauge(bake::CONCC_DEV_BAKING, 100250, 2633));
    feed(Gauge(bake::CONCC_DEV_BAKING, 100250, 9999));  // repeated: nothing
    feed(Gauge(bake::CONCC_DEV_BAKING, 101000, -1, 0xFFFFFFFEu));
    feed(Gauge(bake::CONCC_DEV_BAKING, 102333, 12345, 0));
    feed(Gauge(bake::CONCC_DEV_IDLE, 103000, 12000));

    const QStringList records = QDir(QString::fromStdString(dir.Path("records")))
                                    .entryList({QStringLiteral("*.tvr")}, QDir::Files);
    ASSERT_EQ(1, records.size());
    const std::string bytes = dir.Read("records/" + records[0].toStdString());
    // UTF-16LE after its byte order mark, lines ended by LF alone.
    std::string expected = "\xFF\xFE";
    for (char16_t u : std::u16string_view(kExpectedRecord)) {
        expected += char(u & 0xFF);
        expected += char(u >> 8);
    }
    EXPECT_EQ(expected.size(), bytes.size());
    EXPECT_TRUE(expected == bytes)
        << QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                              qsizetype(bytes.size() / 2 - 1))
               .toStdString();
    area.closeAllSubWindows();
}
