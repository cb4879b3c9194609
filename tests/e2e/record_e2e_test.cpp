// Bake records end to end: the operator program in this process (offscreen)
// and as a child process, against a real calvero-sim over loopback.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QPushButton>

#include <memory>
#include <set>
#include <string>

#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "document/record_name.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

namespace {

using namespace shell;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

class CancelSelector : public DeviceSelector {
public:
    bool SelectDevice(const DeviceSelectionContext&, DeviceChoice*) override { return false; }
};

size_t PointCount(document::ChartDocument* doc, const wchar_t* chart) {
    const chart::ChartSeries* s = doc->Set().FindChartByName(chart);
    return s ? s->Points().size() : 0;
}

bool HasMessage(const uitest::RecordingMessageBox& box, const std::wstring& text) {
    for (const auto& m : box.messages) {
        if (m.text == text)
            return true;
    }
    return false;
}

}  // namespace

TEST(RecordEndToEnd, UploadBakeAndTheRecordInTheRecordsFolder) {
    uitest::ClearSettings();
    test_support::TempDir dir;
    test_support::SimProcess sim({"--rate", "20", "--speed", "10"});
    ASSERT_FALSE(sim.Port().empty());

    // A 2-point profile: 20 simulated seconds, 2 s at this speed.
    chart::ChartSet profile;
    const chart::ChartPoint pts[] = {{0, 30}, {20, 60}};
    const int id = profile.AddChart(pts, L"Short", L"Temperature", 0, 2.0f, 0.0f, 0xFF00A000u);
    std::wstring error;
    ASSERT_TRUE(profile.SaveChartsXml(dir.WPath("short.tvr"), {id}, error));

    uitest::RecordingMessageBox box;
    CancelSelector selector;
    MainFrameServices services;
    services.messageBox = &box;
    services.deviceSelector = &selector;
    DocumentServices docServices;
    docServices.recoveryFolder = Q(dir.Path("recovery"));
    docServices.recoveryIntervalMs = 200;
    docServices.askSaveChanges = [](QWidget*, const QString&) {
        return document::SaveChoice::Discard;
    };
    CommandLineOptions options;
    options.recordsFolder = Q(dir.Path("records"));
    Application app;
    ASSERT_TRUE(app.InitInstance(options, services, docServices));
    MainWindow* frame = app.MainFrame();
    document::DocumentManager* docs = app.Documents();
    bake::ui::ControlPanel* panel = frame->ControlFrame();
    ASSERT_EQ(1, docs->Documents().size());  // the empty document of the start-up
    EXPECT_EQ(QStringLiteral("Chart1"), docs->ActiveDocument()->Title());

    frame->ConnectTo(QStringLiteral("127.0.0.1"), uint16_t(std::stoi(sim.Port())));
    ASSERT_TRUE(uitest::PumpUntil([&] { return panel->State() == bake::ui::ControlState::CF_IDLE; },
                                  10000));
    document::ChartDocument* source = docs->OpenDocument(Q(dir.Path("short.tvr")));
    ASSERT_NE(nullptr, source);
    source->UploadBakeProfile();
    ASSERT_TRUE(uitest::PumpUntil(
        [&] { return HasMessage(box, L"Temperature profile set, you can bake now!"); }));

    panel->StartAbortButton()->click();
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return panel->State() == bake::ui::ControlState::CF_BAKING; }));
    document::ChartDocument* record = docs->ActiveDocument();
    ASSERT_NE(source, record);
    EXPECT_EQ(QStringLiteral("Chart2"), record->Title());
    // The profile overlay comes from the controller's report.
    ASSERT_TRUE(uitest::PumpUntil([&] { return PointCount(record, L"Profile") == 2; }));
    const auto& overlay = record->Set().FindChartByName(L"Profile")->Points();
    EXPECT_NEAR(20.0, overlay[1].x - overlay[0].x, 1e-9);
    EXPECT_NEAR(0.0, overlay[0].x, 0.5);
    EXPECT_EQ(60.0, overlay[1].y);
    ASSERT_TRUE(uitest::PumpUntil([&] { return QFile::exists(record->RecoveryPath()); }));

    ASSERT_TRUE(uitest::PumpUntil([&] { return panel->State() == bake::ui::ControlState::CF_IDLE; },
                                  15000));
    // About 20 simulated seconds at 20 packets per real second and speed 10: ~40 points.
    const size_t points = PointCount(record, L"Temp Main");
    EXPECT_GE(points, 20u);
    for (const wchar_t* channel :
         {L"Setup Temp", L"Fan", L"Temp 1", L"Temp 2", L"Temp 3", L"Board Temp", L"Heater", L"FAN"})
        EXPECT_EQ(points, PointCount(record, channel))
            << QString::fromWCharArray(channel).toStdString();
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return HasMessage(box, L"Successfully baked! Bake time : 20"); }));

    const QStringList records =
        QDir(Q(dir.Path("records"))).entryList({QStringLiteral("bake-*.tvr")}, QDir::Files);
    ASSERT_EQ(1, records.size());
    const QString file = QDir(Q(dir.Path("records"))).filePath(records[0]);
    EXPECT_EQ(file, record->FilePath());
    // Named after the bake's start as the simulator reported it.
    EXPECT_EQ(document::RecordFileName(record->BakeStart()), records[0]);
    EXPECT_FALSE(record->IsModified());
    EXPECT_TRUE(QDir(Q(dir.Path("recovery"))).isEmpty());

    // calveroctl reads it: the nine charts with points, one line each.
    const auto info = test_support::Run({CALVEROCTL_PATH, "chart", "info", file.toStdString()});
    EXPECT_EQ(0, info.code) << info.err;
    EXPECT_EQ(10, std::count(info.out.begin(), info.out.end(), '\n')) << info.out;

    // Reopened, the same charts with the same points.
    document::ChartDocument* reopened = docs->OpenDocument(file);
    ASSERT_NE(nullptr, reopened);
    for (const auto& [cid, series] : record->Set().Charts()) {
        const chart::ChartSeries* again = reopened->Set().FindChartByName(series->name);
        ASSERT_NE(nullptr, again) << cid;
        ASSERT_EQ(series->Points().size(), again->Points().size());
        // The file keeps values to single precision.
        EXPECT_NEAR(series->Points().back().y, again->Points().back().y, 1e-4);
    }
    frame->close();
    app.ExitInstance(0);
}

TEST(RecordEndToEnd, AKilledProgramLeavesTheRecordInItsRecoveryFile) {
    test_support::TempDir dir;
    // The program connects to the fixed controller port; this test's private
    // network namespace has it free.
    test_support::SimProcess sim({"--port", "5565", "--rate", "20", "--autostart", "0.3"});
    if (sim.Port().empty())
        GTEST_SKIP() << "port 5565 is taken";
    test_support::Process program({"/usr/bin/env", "QT_QPA_PLATFORM=offscreen",
                                   "XDG_CONFIG_HOME=" + dir.Path("config"),
                                   "XDG_DATA_HOME=" + dir.Path("data"), CALVERO_PATH, "--connect",
                                   "127.0.0.1", "--records", dir.Path("records")});
    ASSERT_TRUE(program.Started());
    const QString recoveryDir =
        Q(dir.Path("data")) +
        QStringLiteral("/Local AppWizard-Generated Applications/Calvero/recovery");
    QString recovery;
    ASSERT_TRUE(uitest::PumpUntil(
        [&] {
            // The file is there (empty, claimed) from the bake's start; each
            // write replaces it whole.
            const QFileInfoList f =
                QDir(recoveryDir).entryInfoList({QStringLiteral("*.tvr")}, QDir::Files);
            if (!f.isEmpty())
                recovery = f[0].absoluteFilePath();
            return !f.isEmpty() && f[0].size() > 0;
        },
        20000))
        << program.Err();
    // A second program beside it leaves the running bake's file alone...
    QMdiArea area;
    auto context = std::make_shared<document::DocumentContext>();
    context->recoveryFolder = recoveryDir;
    document::DocumentManager second(&area, context);
    EXPECT_TRUE(second.RecoveryFiles().isEmpty());
    program.Signal(SIGKILL);
    program.Wait(5000);
    // ...and offers it once its writer is gone.
    EXPECT_EQ(QStringList{recovery}, second.RecoveryFiles());

    chart::ChartSet left;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(left.LoadChartsXml(recovery.toStdWString(), ids, error));
    const chart::ChartSeries* main = left.FindChartByName(L"Temp Main");
    ASSERT_NE(nullptr, main);
    // The first write comes 10 s into the bake: 4 packets a second until then.
    EXPECT_GE(main->Points().size(), 20u);
    EXPECT_EQ(0.0, main->Points().front().x);
    EXPECT_TRUE(QDir(Q(dir.Path("records"))).entryList(QDir::Files).isEmpty());
}
