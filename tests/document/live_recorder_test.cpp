// The live record: which document records, which values reach it, when it
// is saved, and the bytes of the file a bake leaves.
#include <gtest/gtest.h>

#include <QDir>
#include <QMdiArea>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "document/document_manager.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

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

}  // namespace

// The file a bake leaves in the records folder, byte for byte: the same
// packets always give the same record.
TEST(LiveRecordFile, ABakeLeavesExactlyTheseBytes) {
    test_support::TempDir dir;
    QMdiArea area;
    area.resize(800, 600);
    bake::ui::ControlPanel panel;
    uitest::FakeLink link;
    panel.SetLink(&link);
    auto context = std::make_shared<document::DocumentContext>();
    context->panel = &panel;
    context->recordsFolder = QString::fromStdString(dir.Path("records"));
    context->recoveryFolder = QString::fromStdString(dir.Path("recovery"));
    document::DocumentManager docs(&area, context);
    panel.SetDocumentOpener([&] { docs.NewLiveRecord(); });

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
