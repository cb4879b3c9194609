// Chart documents in their windows, with the manager, the live recorder and
// a real control panel, offscreen: the live record, files, import, upload,
// and a record that is never lost.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QRegularExpression>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <set>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "document/live_recorder.h"
#include "document/record_name.h"
#include "tests/support/document_window.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

using test_support::WindowOf;
using uitest::FakeLink;
using uitest::RecordedMessage;
using uitest::RecordingMessageBox;
using uitest::RecordingTraceLog;

namespace {

std::vector<uint8_t> Gauge(uint32_t devState, uint64_t timestamp, int32_t tempMain = 2500) {
    return test_support::GaugePacket({.timestamp = timestamp,
                                      .devState = devState,
                                      .setupTemp = 3000,
                                      .fanRpm = 100,
                                      .tempMain = tempMain,
                                      .temp1 = 2400,
                                      .temp2 = 2400,
                                      .temp3 = 2400,
                                      .boardTemp = 2600});
}

std::vector<uint8_t> ProfileReport(uint64_t startTime, std::vector<bake::CONCC_ProfilePoint> points,
                                   uint32_t seq) {
    bake::CONCC_TempProfile p;
    p.header = {bake::CONCC_PKT_GET_PROFILE, 0, seq};
    p.startTime = startTime;
    p.points = std::move(points);
    return bake::EncodeTempProfile(p);
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        area_.resize(900, 600);
        panel_.SetLink(&link_);
        panel_.SetTraceLog(&log_);
        panel_.SetMessageBox(&box_);
        context_ = std::make_shared<document::DocumentContext>();
        context_->sendProfile = [this](auto points) { panel_.SendProfile(points); };
        context_->messages = &box_;
        context_->log = &log_;
        context_->recordsFolder = Q(dir_.Path("records"));
        context_->recoveryFolder = Q(dir_.Path("recovery"));
        context_->recoveryIntervalMs = 50;
        context_->askSavePath = [this](QWidget*, const QString& suggested) {
            suggestedPaths_ << suggested;
            return savePath_;
        };
        context_->askImportPath = [this](QWidget*) { return importPath_; };
        context_->askExportPath = [this](QWidget*, const QString&, const QString&) {
            return exportPath_;
        };
        context_->askSaveChanges = [this](QWidget*, const QString& title) {
            askedToSave_ << title;
            if (duringQuestion_)
                duringQuestion_();
            return saveChoice_;
        };
        context_->saved = [this](const QString& path) { savedPaths_ << path; };
        docs_ = std::make_unique<document::DocumentManager>(&area_, context_);
        recorder_ = std::make_unique<document::LiveRecorder>(docs_.get());
        recorder_->Listen(&panel_);
        area_.show();
    }
    void TearDown() override {
        saveChoice_ = document::SaveChoice::Discard;
        duringQuestion_ = nullptr;
        area_.closeAllSubWindows();
    }

    void Packet(const std::vector<uint8_t>& p) { panel_.OnPacket(p.data(), uint32_t(p.size())); }
    void Connect() { panel_.OnDeviceConnected(); }
    // The document the gauge readings go to.
    document::ChartDocument* BakeRecord() const { return recorder_->Record(); }
    QStringList Records() const {
        return QDir(Q(dir_.Path("records")))
            .entryList({QStringLiteral("*.tvr")}, QDir::Files, QDir::Name);
    }
    std::vector<std::wstring> Messages() const {
        std::vector<std::wstring> out;
        for (const RecordedMessage& m : box_.messages) out.push_back(m.text);
        return out;
    }

    test_support::TempDir dir_;
    QMdiArea area_;
    bake::ui::ControlPanel panel_;
    FakeLink link_;
    RecordingTraceLog log_;
    RecordingMessageBox box_;
    std::shared_ptr<document::DocumentContext> context_;
    std::unique_ptr<document::DocumentManager> docs_;
    std::unique_ptr<document::LiveRecorder> recorder_;
    QString savePath_, importPath_, exportPath_;
    QStringList suggestedPaths_, askedToSave_, savedPaths_;
    document::SaveChoice saveChoice_ = document::SaveChoice::Discard;
    std::function<void()> duringQuestion_;
};

}  // namespace

TEST_F(DocumentTest, NewDocumentsAreNumberedAndBecomeTheBakeView) {
    document::ChartDocument* first = recorder_->NewDocument();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(QStringLiteral("Chart1"), first->Title());
    EXPECT_EQ(first, BakeRecord());
    chart::ui::ChartWidget* c = WindowOf(first)->Container();
    std::set<int> ids;
    c->Set().GetChartIds(ids);
    EXPECT_EQ((std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), ids);
    EXPECT_TRUE(c->Set().IsLegendVisible());
    const auto& home = c->HomeRange();
    EXPECT_EQ(0, home.minX);
    EXPECT_EQ(260, home.maxX);
    EXPECT_EQ(0, home.minY);
    EXPECT_EQ(300, home.maxY);
    EXPECT_EQ(L"12.500", c->Set().XValueFormatter()(12.5));
    EXPECT_EQ(L"0", c->Set().YValueFormatter()(0.0004));

    document::ChartDocument* second = recorder_->NewDocument();
    EXPECT_EQ(QStringLiteral("Chart2"), second->Title());
    EXPECT_EQ(second, BakeRecord());
    // Closing a document that is not the record leaves the record alone;
    // closing the record's document lets it go.
    WindowOf(first)->close();
    EXPECT_EQ(second, BakeRecord());
    WindowOf(second)->close();
    EXPECT_EQ(nullptr, BakeRecord());
}

TEST_F(DocumentTest, ABakeFillsANewRecordFromTimeZero) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 1000));
    EXPECT_EQ(nullptr, BakeRecord());  // Idle: no record
    Packet(Gauge(bake::CONCC_DEV_BAKING, 5000, 3000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    ASSERT_NE(nullptr, doc);
    ASSERT_EQ(doc, BakeRecord());
    EXPECT_EQ(5000u, doc->Channels().bakeStartTime);
    EXPECT_TRUE(doc->IsLiveBake());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(WindowOf(doc)->windowTitle().contains(QStringLiteral("[*]")));
    EXPECT_TRUE(WindowOf(doc)->isWindowModified());
    // The panel asked for the profile; the report draws the "Profile" chart.
    ASSERT_FALSE(link_.sent.empty());
    EXPECT_EQ(bake::CONCC_PKT_GET_PROFILE, uitest::GetU32(link_.sent.back(), 0));
    Packet(ProfileReport(3000, {{0, 2500}, {10000, 5000}}, panel_.SequenceId()));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 5000));  // repeated: nothing
    Packet(Gauge(bake::CONCC_DEV_BAKING, 5250, -1));

    chart::ui::ChartWidget* c = WindowOf(doc)->Container();
    const auto& main = c->Set().FindChartByName(L"Temp Main")->Points();
    ASSERT_EQ(2u, main.size());
    EXPECT_EQ(0.0, main[0].x);
    EXPECT_EQ(30.0, main[0].y);
    EXPECT_EQ(0.25, main[1].x);
    EXPECT_EQ(-10.0, main[1].y);
    const auto& profile = c->Set().FindChartByName(L"Profile")->Points();
    ASSERT_EQ(2u, profile.size());
    EXPECT_EQ(-2.0, profile[0].x);
    EXPECT_EQ(8.0, profile[1].x);
}

TEST_F(DocumentTest, SaveReopenAndTheFileErrors) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    savePath_ = Q(dir_.Path("run"));  // the extension is added
    ASSERT_TRUE(WindowOf(doc)->Save());
    EXPECT_EQ(Q(dir_.Path("run.tvr")), doc->FilePath());
    EXPECT_EQ(QStringLiteral("run.tvr"), doc->Title());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(QStringList{Q(dir_.Path("run.tvr"))}, savedPaths_);

    // Reopened (a copy: the file itself is open already): the charts with
    // points, ids from 0, no channel charts, not registered.
    ASSERT_TRUE(QFile::copy(Q(dir_.Path("run.tvr")), Q(dir_.Path("copy.tvr"))));
    document::ChartDocument* reopened = docs_->OpenDocument(Q(dir_.Path("copy.tvr")));
    ASSERT_NE(nullptr, reopened);
    EXPECT_EQ(doc, BakeRecord());
    std::set<int> ids;
    reopened->Set().GetChartIds(ids);
    EXPECT_EQ(9u, ids.size());  // the empty "Profile" chart was not written
    EXPECT_EQ(0, *ids.begin());
    EXPECT_EQ(nullptr, reopened->Set().FindChartByName(L"Profile"));
    EXPECT_EQ(2u, reopened->Set().FindChartByName(L"FAN")->Points().size());
    EXPECT_FALSE(reopened->Channels().Created());
    EXPECT_FALSE(reopened->IsModified());

    // A file that is not a chart file: the reader's text, and no window.
    const int windows = area_.subWindowList().size();
    box_.messages.clear();
    EXPECT_EQ(nullptr, docs_->OpenDocument(Q(dir_.Write("junk.tvr", "this is not XML"))));
    EXPECT_EQ(windows, area_.subWindowList().size());
    ASSERT_EQ(1u, box_.messages.size());
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);
    EXPECT_FALSE(box_.messages[0].text.empty());

    // A view without charts has nothing to save.
    document::ChartDocument* empty = docs_->OpenDocument(
        Q(dir_.Write("empty.tvr", "<?xml version=\"1.0\"?>\n<Charts>\n</Charts>\n")));
    ASSERT_NE(nullptr, empty);
    box_.messages.clear();
    savePath_ = Q(dir_.Path("empty2.tvr"));
    EXPECT_FALSE(WindowOf(empty)->SaveAs());
    EXPECT_EQ((std::vector<std::wstring>{L"No charts to save!"}), Messages());
    EXPECT_FALSE(QFile::exists(savePath_));
}

TEST_F(DocumentTest, ImportAddsChartsAndAFailureLeavesThemAlone) {
    document::ChartDocument* doc = recorder_->NewDocument();
    chart::ui::ChartWidget* c = WindowOf(doc)->Container();
    const chart::ChartPoint pts[] = {{0, 25}, {60, 150}, {120, 240}};
    chart::ChartSet source;
    const int id = source.AddChart(pts, L"Reflow", L"Temperature", 0, 2.0f, 0.0f, 0xFF00FF00u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("p.xml"), {id}, error));

    importPath_ = Q(dir_.Path("p.xml"));
    WindowOf(doc)->ImportChart();
    const chart::ChartSeries* imported = c->Set().FindChartByName(L"Reflow");
    ASSERT_NE(nullptr, imported);
    EXPECT_EQ(10, imported->id);
    EXPECT_EQ(3u, imported->Points().size());

    importPath_ = Q(dir_.Write("bad.xml", "<Other/>"));
    WindowOf(doc)->ImportChart();
    std::set<int> ids;
    c->Set().GetChartIds(ids);
    EXPECT_EQ(11u, ids.size());
    ASSERT_EQ(1u, box_.messages.size());
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);

    importPath_.clear();  // cancelled
    WindowOf(doc)->ImportChart();
    EXPECT_EQ(1u, box_.messages.size());
}

TEST_F(DocumentTest, UploadPicksOneChartOnlyWhileIdle) {
    const chart::ChartPoint pts[] = {{0, 25}, {1.9999, 249.999}};
    chart::ChartSet source;
    const int a = source.AddChart(pts, L"A", L"", 0, 2.0f, 0.0f, 0xFF000000u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("one.tvr"), {a}, error));
    const int b = source.AddChart(pts, L"B", L"", 0, 2.0f, 0.0f, 0xFF000000u);
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("two.tvr"), {a, b}, error));

    document::ChartDocument* one = docs_->OpenDocument(Q(dir_.Path("one.tvr")));
    document::ChartDocument* two = docs_->OpenDocument(Q(dir_.Path("two.tvr")));
    one->UploadBakeProfile();  // Disconnected: nothing
    EXPECT_TRUE(link_.sent.empty());

    Connect();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 1000));
    ASSERT_EQ(bake::ui::ControlState::CF_IDLE, panel_.State());
    // The only chart goes even when hidden and unselected.
    one->Set().ToggleChartVisibility(0);
    one->UploadBakeProfile();
    ASSERT_EQ(1u, link_.sent.size());
    ASSERT_EQ(40u, link_.sent[0].size());
    EXPECT_EQ(1999u, uitest::GetU32(link_.sent[0], 32));
    EXPECT_EQ(24999u, uitest::GetU32(link_.sent[0], 36));

    two->UploadBakeProfile();
    EXPECT_EQ((std::vector<std::wstring>{L"Select one chart to upload!"}), Messages());
    EXPECT_EQ(platform::MessageIcon::None, box_.messages[0].icon);
    two->Set().SetChartSelected(1, true);
    two->UploadBakeProfile();
    EXPECT_EQ(2u, link_.sent.size());

    // A chart that is there but has no points is judged by its count.
    std::ofstream(dir_.Path("empty.tvr"))
        << "<?xml version=\"1.0\"?>\n<Charts><Chart Name=\"E\" Color=\"255\"/></Charts>\n";
    document::ChartDocument* empty = docs_->OpenDocument(Q(dir_.Path("empty.tvr")));
    ASSERT_NE(nullptr, empty);
    box_.messages.clear();
    empty->UploadBakeProfile();
    EXPECT_EQ((std::vector<std::wstring>{L"Chart has to have more than 2 points!"}), Messages());
    EXPECT_EQ(2u, link_.sent.size());

    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));  // Baking: nothing
    two->UploadBakeProfile();
    EXPECT_EQ(3u, link_.sent.size());  // only the profile request of the new bake
    EXPECT_EQ(bake::CONCC_PKT_GET_PROFILE, uitest::GetU32(link_.sent.back(), 0));
}

TEST_F(DocumentTest, AFinishedBakeIsSavedInTheRecordsFolder) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 1000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    const QString recovery = doc->RecoveryPath();
    EXPECT_TRUE(recovery.startsWith(Q(dir_.Path("recovery/bake-"))));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 3000));
    // The recovery file follows the record while the bake runs.
    ASSERT_TRUE(uitest::PumpUntil([&] { return QFile::exists(recovery); }));

    Packet(Gauge(bake::CONCC_DEV_IDLE, 4000));
    EXPECT_EQ(nullptr, BakeRecord());
    const QStringList records = Records();
    ASSERT_EQ(1, records.size());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^bake-\\d{8}-\\d{6}\\.tvr$"))
                    .match(records[0])
                    .hasMatch());
    EXPECT_EQ(QDir(Q(dir_.Path("records"))).filePath(records[0]), doc->FilePath());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(QFile::exists(recovery));
    ASSERT_FALSE(log_.lines.empty());
    EXPECT_NE(std::wstring::npos, log_.lines.back().text.find(records[0].toStdWString()));
    EXPECT_EQ(L"AutoSave", log_.lines.back().source);

    // The saved record holds the points of the bake; the packet that ended it
    // already belongs to no record.
    chart::ChartSet saved;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(saved.LoadChartsXml(
        QDir(Q(dir_.Path("records"))).filePath(records[0]).toStdWString(), ids, error));
    EXPECT_EQ(2u, saved.FindChartByName(L"Temp Main")->Points().size());

    // A second bake gets a record of its own, never the first one's file.
    Packet(Gauge(bake::CONCC_DEV_BAKING, 5000));
    Packet(Gauge(bake::CONCC_DEV_IDLE, 6000));
    EXPECT_EQ(2, Records().size());
}

TEST_F(DocumentTest, ALinkDropMidBakeKeepsAndSavesTheRecord) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 10000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 11000));
    document::ChartDocument* first = docs_->ActiveDocument();
    panel_.OnDeviceDisconnected();
    // Still open, still registered, with its points, and saved.
    EXPECT_EQ(first, BakeRecord());
    EXPECT_EQ(2u, first->Set().FindChartByName(L"Temp Main")->Points().size());
    ASSERT_EQ(1, Records().size());
    EXPECT_FALSE(first->IsModified());

    // Back to a controller that still bakes: a second record from there on.
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 15000));
    document::ChartDocument* second = docs_->ActiveDocument();
    ASSERT_NE(first, second);
    EXPECT_EQ(second, BakeRecord());
    Packet(Gauge(bake::CONCC_DEV_IDLE, 16000));
    EXPECT_EQ(2, Records().size());
    // The Output log names both files.
    std::vector<std::wstring> saves;
    for (const auto& l : log_.lines) {
        if (l.source == L"AutoSave")
            saves.push_back(l.text);
    }
    ASSERT_EQ(2u, saves.size());
    EXPECT_NE(std::wstring::npos, saves[0].find(first->FilePath().toStdWString()));
    EXPECT_NE(std::wstring::npos, saves[1].find(second->FilePath().toStdWString()));
}

TEST_F(DocumentTest, AFailedAutoSaveIsLoggedShownAndKeepsTheRecordModified) {
    context_->recordsFolder = Q(dir_.Write("not-a-folder", "x"));
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 2000));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_FALSE(log_.ErrorTexts().empty());
    // The box comes after the panel finished with the packet.
    EXPECT_TRUE(box_.messages.empty());
    ASSERT_TRUE(uitest::PumpUntil([&] { return !box_.messages.empty(); }));
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);
    EXPECT_TRUE(QFile::exists(doc->RecoveryPath()) || !doc->RecoveryPath().isEmpty());
}

TEST_F(DocumentTest, ClosingAModifiedRecordAsks) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    QPointer<document::ChartDocument> alive(doc);

    saveChoice_ = document::SaveChoice::Cancel;
    EXPECT_FALSE(docs_->CloseAll());
    EXPECT_TRUE(alive);
    EXPECT_EQ(QStringList{QStringLiteral("Chart1")}, askedToSave_);

    // Save: the record goes where the operator says; cancelling that dialog keeps it open.
    saveChoice_ = document::SaveChoice::Save;
    savePath_.clear();
    EXPECT_FALSE(WindowOf(doc)->close());
    EXPECT_TRUE(alive);
    EXPECT_TRUE(suggestedPaths_.last().startsWith(Q(dir_.Path("records/bake-"))));
    savePath_ = Q(dir_.Path("kept.tvr"));
    EXPECT_TRUE(docs_->CloseAll());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(alive);
    EXPECT_TRUE(QFile::exists(savePath_));
    EXPECT_EQ(nullptr, BakeRecord());

    // Discard: closed without a file; an unmodified document does not ask.
    Packet(Gauge(bake::CONCC_DEV_IDLE, 1500));
    recorder_->NewDocument();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 2000));
    saveChoice_ = document::SaveChoice::Discard;
    askedToSave_.clear();
    EXPECT_TRUE(docs_->CloseAll());
    EXPECT_EQ(1, askedToSave_.size());
    document::ChartDocument* fresh = recorder_->NewDocument();
    askedToSave_.clear();
    EXPECT_TRUE(WindowOf(fresh)->close());
    EXPECT_TRUE(askedToSave_.isEmpty());
}

TEST_F(DocumentTest, ARecoveryWriteStillRunningWhenTheRecordIsSavedLeavesNoFile) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    // Long enough a record that its recovery write is still going on when
    // the save below removes the recovery file.
    std::vector<chart::ChartPoint> points(300000);
    for (size_t i = 0; i < points.size(); ++i) points[i] = {1.0 + double(i) * 0.01, 25.0};
    doc->Set().AppendChartPoints(doc->Channels().Id(document::kTemp1), points);
    const QString recovery = doc->RecoveryPath();
    ASSERT_TRUE(doc->StartRecoveryWrite());

    ASSERT_TRUE(doc->SaveTo(Q(dir_.Path("saved.tvr"))));
    // The save waited for the write: none is left that could put the file
    // back, and no event loop ran, so no later tick started another.
    EXPECT_FALSE(doc->RecoveryWriteRunning());
    EXPECT_FALSE(QFile::exists(recovery));
    EXPECT_TRUE(QDir(Q(dir_.Path("recovery"))).isEmpty());
}

TEST_F(DocumentTest, RecoveryFilesAreOfferedAndOpenedModified) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    ASSERT_TRUE(doc->WriteRecoveryFile());
    const QString recovery = doc->RecoveryPath();
    // As if the program had been killed: the file stays behind.
    QFile::copy(recovery, recovery + QStringLiteral(".keep"));
    saveChoice_ = document::SaveChoice::Discard;
    area_.closeAllSubWindows();
    QFile::rename(recovery + QStringLiteral(".keep"), recovery);

    ASSERT_EQ(QStringList{recovery}, docs_->RecoveryFiles());
    const QList<document::ChartDocument*> opened = docs_->RestoreRecoveryFiles(true);
    ASSERT_EQ(1, opened.size());
    EXPECT_TRUE(opened[0]->IsModified());
    EXPECT_TRUE(opened[0]->FilePath().isEmpty());
    EXPECT_EQ(2u, opened[0]->Set().FindChartByName(L"Temp Main")->Points().size());
    EXPECT_EQ(nullptr, BakeRecord());
    // Saving it removes the recovery file.
    savePath_ = Q(dir_.Path("recovered.tvr"));
    ASSERT_TRUE(WindowOf(opened[0])->Save());
    EXPECT_TRUE(docs_->RecoveryFiles().isEmpty());

    // Discarding deletes them.
    QFile::copy(savePath_, Q(dir_.Path("recovery/bake-20260101-000000.tvr")));
    ASSERT_EQ(1, docs_->RecoveryFiles().size());
    EXPECT_TRUE(docs_->RestoreRecoveryFiles(false).isEmpty());
    EXPECT_TRUE(docs_->RecoveryFiles().isEmpty());
}

TEST_F(DocumentTest, ExportsShareTheCommandLineCode) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1500));
    document::ChartDocument* doc = docs_->ActiveDocument();
    exportPath_ = Q(dir_.Path("out"));
    WindowOf(doc)->ExportCsv();
    const std::string csv = dir_.Read("out.csv");
    EXPECT_EQ(0u, csv.find("Setup Temp x,Setup Temp Temperature,Fan x,Fan RPM,")) << csv;
    EXPECT_NE(std::string::npos, csv.find("\n0.500000,30.000000,0.500000,100.000000,")) << csv;

    exportPath_ = Q(dir_.Path("out.png"));
    WindowOf(doc)->ExportImage();
    QImage image(exportPath_);
    ASSERT_FALSE(image.isNull())
        << (box_.messages.empty() ? std::string()
                                  : QString::fromStdWString(box_.messages[0].text).toStdString());
    EXPECT_EQ(WindowOf(doc)->Container()->size(), image.size());
    EXPECT_TRUE(box_.messages.empty());
}

TEST_F(DocumentTest, TheLiveViewFollowsUntilTheOperatorMovesIt) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 0));
    document::ChartDocument* doc = docs_->ActiveDocument();
    chart::ui::ChartWidget* c = WindowOf(doc)->Container();
    ASSERT_GT(c->width(), 100);
    // Far beyond the home range: the view scrolls to keep the point in sight.
    Packet(Gauge(bake::CONCC_DEV_BAKING, 400000));
    auto visible = c->CurrentLayout().visible;
    EXPECT_LE(visible.left, 400.0);
    EXPECT_GE(visible.right, 400.0);
    EXPECT_TRUE(WindowOf(doc)->FollowsNewestPoint());

    // The operator pans back to the start: it stays there.
    chart::ui::ViewMapping m = c->Mapping();
    m.originX = 60;
    c->SetMapping(m);
    Packet(Gauge(bake::CONCC_DEV_BAKING, 800000));
    EXPECT_FALSE(WindowOf(doc)->FollowsNewestPoint());
    EXPECT_EQ(60, c->Mapping().originX);

    // "Zoom to fit" from the menu: following again.
    WindowOf(doc)->SetMenuRunner(
        [](QMenu&, const QPoint&) { return int(chart::ui::kCmdZoomToFit); });
    c->OpenContainerMenu(QPoint(10, 10));
    EXPECT_TRUE(WindowOf(doc)->FollowsNewestPoint());
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1600000));
    visible = c->CurrentLayout().visible;
    EXPECT_GE(visible.right, 1600.0);
}

TEST_F(DocumentTest, AGrownWindowShowsTheHomeRangeBiggerUntilTheOperatorMovesIt) {
    document::ChartDocument* doc = recorder_->NewDocument();
    chart::ui::ChartWidget* c = WindowOf(doc)->Container();
    WindowOf(doc)->resize(1200, 800);
    uitest::Pump();
    ASSERT_GT(c->width(), 1100);  // the control fills the grown window
    auto visible = c->CurrentLayout().visible;
    EXPECT_NEAR(0.0, visible.bottom, 5.0);
    EXPECT_NEAR(300.0, visible.top, 5.0);
    EXPECT_NEAR(260.0, visible.right, 5.0);

    chart::ui::ViewMapping m = c->Mapping();
    m.originY += 100;  // the operator pans
    c->SetMapping(m);
    bake::CONCC_GaugeData g;
    g.timestamp = 1000;
    doc->AppendGauge(g);  // the next point finds the view moved
    WindowOf(doc)->resize(900, 500);
    uitest::Pump();
    EXPECT_EQ(m.originY, c->Mapping().originY);
}

TEST_F(DocumentTest, ARecordIsNamedAfterTheBakeStartTheControllerReports) {
    // Connected 15 minutes into a bake: the record opens now, the controller
    // says the bake began 900 s of its clock before.
    Connect();
    const QDateTime before = QDateTime::currentDateTime();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 905000));
    document::ChartDocument* first = docs_->ActiveDocument();
    const QDateTime after = QDateTime::currentDateTime();
    // Until the report arrives the opening time stands in.
    EXPECT_LE(before, first->BakeStart());
    EXPECT_GE(after, first->BakeStart());
    Packet(ProfileReport(5000, {{0, 2500}, {600000, 5000}}, panel_.SequenceId()));
    EXPECT_LE(before.addSecs(-900), first->BakeStart());
    EXPECT_GE(after.addSecs(-900), first->BakeStart());
    Packet(Gauge(bake::CONCC_DEV_BAKING, 905050));

    // The link drops; back on the same bake at once, a second record of it.
    // Both files carry the bake's start: the second one's name follows the
    // first one's.
    panel_.OnDeviceDisconnected();
    ASSERT_EQ(1, Records().size());
    EXPECT_EQ(document::RecordFileName(first->BakeStart()), Records()[0]);
    EXPECT_EQ(QFileInfo(first->FilePath()).fileName(), Records()[0]);
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 905100));
    document::ChartDocument* second = docs_->ActiveDocument();
    ASSERT_NE(first, second);
    Packet(ProfileReport(5000, {{0, 2500}, {600000, 5000}}, panel_.SequenceId()));
    EXPECT_NEAR(0, first->BakeStart().msecsTo(second->BakeStart()), 500);
    Packet(Gauge(bake::CONCC_DEV_IDLE, 905200));
    ASSERT_EQ(2, Records().size());
    const QString secondName = QFileInfo(second->FilePath()).fileName();
    const QString expected = document::RecordFileName(second->BakeStart());
    // The same second as the first record's start gives the clash name.
    EXPECT_TRUE(secondName == expected ||
                secondName == expected.chopped(4) + QStringLiteral("-2.tvr"))
        << secondName.toStdString();
    EXPECT_TRUE(Records().contains(secondName));
}

TEST_F(DocumentTest, TheStartUpDocumentMakesWayForTheFirstRecordUnlessItWasUsed) {
    const chart::ChartPoint pts[] = {{0, 25}, {60, 150}};
    chart::ChartSet source;
    const int id = source.AddChart(pts, L"Reflow", L"Temperature", 0, 2.0f, 0.0f, 0xFF00FF00u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("p.xml"), {id}, error));
    struct Case {
        const char* what;
        std::function<void(document::ChartDocument*)> use;
        bool kept;
    };
    const Case cases[] = {
        {"untouched", [](document::ChartDocument*) {}, false},
        {"zoomed only",
         [](document::ChartDocument* d) { WindowOf(d)->Container()->ZoomToRange(0, 10, 0, 10); },
         false},
        {"a chart imported",
         [this](document::ChartDocument* d) {
             importPath_ = Q(dir_.Path("p.xml"));
             WindowOf(d)->ImportChart();
         },
         true},
        {"saved as a file",
         [this](document::ChartDocument* d) {
             // Empty charts are not written: a saved one needs a point.
             bake::CONCC_GaugeData g;
             g.timestamp = 1;
             d->AppendGauge(g);
             savePath_ = Q(dir_.Path("startup.tvr"));
             ASSERT_TRUE(WindowOf(d)->Save());
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        area_.closeAllSubWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        panel_.OnDeviceDisconnected();
        QPointer<document::ChartDocument> startup(recorder_->NewStartupDocument());
        ASSERT_TRUE(startup);
        c.use(startup);
        Connect();
        Packet(Gauge(bake::CONCC_DEV_IDLE, 1000));
        Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
        document::ChartDocument* record = docs_->ActiveDocument();
        ASSERT_NE(nullptr, record);
        EXPECT_NE(startup.data(), record);
        EXPECT_EQ(record, BakeRecord());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(c.kept, bool(startup));
        EXPECT_EQ(c.kept ? 2 : 1, area_.subWindowList().size());
        Packet(Gauge(bake::CONCC_DEV_IDLE, 3000));
    }
    // A document the operator made with File > New is theirs: it stays.
    area_.closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    panel_.OnDeviceDisconnected();
    QPointer<document::ChartDocument> made(recorder_->NewDocument());
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 5000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(made);
    EXPECT_EQ(2, area_.subWindowList().size());
}

TEST_F(DocumentTest, ARecoveredRecordOffersTheNameOfItsRecoveryFile) {
    const chart::ChartPoint pts[] = {{0, 25}, {60, 150}};
    chart::ChartSet source;
    const int id = source.AddChart(pts, L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    QDir().mkpath(Q(dir_.Path("recovery")));
    ASSERT_TRUE(
        source.SaveChartsXml(dir_.WPath("recovery/bake-20260101-074500-2.tvr"), {id}, error));
    ASSERT_EQ(1, docs_->RecoveryFiles().size());
    const QList<document::ChartDocument*> opened = docs_->RestoreRecoveryFiles(true);
    ASSERT_EQ(1, opened.size());
    EXPECT_EQ(QDateTime(QDate(2026, 1, 1), QTime(7, 45)), opened[0]->BakeStart());
    savePath_.clear();  // cancelled: only the suggestion is wanted
    WindowOf(opened[0])->Save();
    ASSERT_EQ(1, suggestedPaths_.size());
    EXPECT_EQ(Q(dir_.Path("records/bake-20260101-074500.tvr")), suggestedPaths_[0]);
}

TEST_F(DocumentTest, ADocumentFilledWhileIdleIsNotTakenForTheBakesRecord) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 1000));
    document::ChartDocument* idle =
        recorder_->NewDocument();  // File > New: it records the idle plate
    Packet(Gauge(bake::CONCC_DEV_IDLE, 2000));
    Packet(Gauge(bake::CONCC_DEV_IDLE, 3000));
    ASSERT_TRUE(idle->IsModified());
    Packet(Gauge(bake::CONCC_DEV_BAKING, 4000));
    document::ChartDocument* record = docs_->ActiveDocument();
    ASSERT_NE(idle, record);
    EXPECT_TRUE(record->IsLiveBake());
    uitest::Pump();
    EXPECT_FALSE(idle->IsLiveBake());
    EXPECT_TRUE(idle->RecoveryPath().isEmpty());
    Packet(Gauge(bake::CONCC_DEV_BAKING, 5000));
    Packet(Gauge(bake::CONCC_DEV_IDLE, 6000));
    // Only the bake's record is in the records folder; the other one is still
    // the operator's to save or not.
    uitest::Pump();
    EXPECT_EQ(QFileInfo(record->FilePath()).fileName(), Records().join(QLatin1Char(' ')));
    EXPECT_TRUE(idle->IsModified());
    EXPECT_TRUE(idle->FilePath().isEmpty());
}

namespace {

// A second program beside the fixture's: its own panel, documents and log,
// the same recovery folder.
struct SecondProgram {
    explicit SecondProgram(const document::DocumentContext& first) {
        panel.SetLink(&link);
        panel.SetTraceLog(&log);
        panel.SetMessageBox(&box);
        context = std::make_shared<document::DocumentContext>();
        context->messages = &box;
        context->log = &log;
        context->recordsFolder = first.recordsFolder + QStringLiteral("-2");
        context->recoveryFolder = first.recoveryFolder;
        context->recoveryIntervalMs = first.recoveryIntervalMs;
        context->askSaveChanges = [](QWidget*, const QString&) {
            return document::SaveChoice::Discard;
        };
        docs = std::make_unique<document::DocumentManager>(&area, context);
        recorder = std::make_unique<document::LiveRecorder>(docs.get());
        recorder->Listen(&panel);
        area.resize(600, 400);
    }
    ~SecondProgram() { area.closeAllSubWindows(); }
    void Packet(const std::vector<uint8_t>& p) { panel.OnPacket(p.data(), uint32_t(p.size())); }

    QMdiArea area;
    bake::ui::ControlPanel panel;
    FakeLink link;
    RecordingTraceLog log;
    RecordingMessageBox box;
    std::shared_ptr<document::DocumentContext> context;
    std::unique_ptr<document::DocumentManager> docs;
    std::unique_ptr<document::LiveRecorder> recorder;
};

// A chart file as a plain save writes it, with `points` points.
void WriteRecord(const std::string& path, size_t points) {
    chart::ChartSet m;
    std::vector<chart::ChartPoint> pts;
    for (size_t i = 0; i < points; ++i) pts.push_back({double(i), 20.0 + double(i)});
    const int id = m.AddChart(pts, L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    ASSERT_TRUE(m.SaveChartsXml(std::wstring(path.begin(), path.end()), {id}, error));
}

// The points of a chart in a file, or -1 when the file cannot be read or
// has no such chart.
long PointsInFile(const QString& path, const wchar_t* chart) {
    chart::ChartSet m;
    std::set<int> ids;
    std::wstring error;
    if (!m.LoadChartsXml(path.toStdWString(), ids, error))
        return -1;
    const chart::ChartSeries* s = m.FindChartByName(chart);
    return s ? long(s->Points().size()) : -1;
}

bool Logged(const std::vector<uitest::RecordedTrace>& lines, char kind, const wchar_t* source,
            const QString& part) {
    for (const auto& l : lines) {
        if (l.kind == kind && l.source == source && QString::fromStdWString(l.text).contains(part))
            return true;
    }
    return false;
}

}  // namespace

TEST_F(DocumentTest, ASecondProgramNeitherOffersNorDiscardsARunningBakesFiles) {
    // This program bakes; its record's file is claimed from the start.
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    document::ChartDocument* live = docs_->ActiveDocument();
    ASSERT_TRUE(live->WriteRecoveryFile());
    const QString running = live->RecoveryPath();
    // A program that was killed left a record behind.
    ASSERT_NO_FATAL_FAILURE(WriteRecord(dir_.Path("recovery/bake-20260101-080000.tvr"), 3));
    const QString left = Q(dir_.Path("recovery/bake-20260101-080000.tvr"));

    SecondProgram second(*context_);
    ASSERT_EQ(QStringList{left}, second.docs->RecoveryFiles());
    // A file that appears after the question was put is not part of it.
    ASSERT_NO_FATAL_FAILURE(WriteRecord(dir_.Path("recovery/bake-20260101-090000.tvr"), 3));
    EXPECT_TRUE(second.docs->RestoreRecoveryFiles(false).isEmpty());
    EXPECT_FALSE(QFile::exists(left));
    EXPECT_TRUE(QFile::exists(running));
    EXPECT_TRUE(QFile::exists(Q(dir_.Path("recovery/bake-20260101-090000.tvr"))));

    // A third program does not get the files the second one claimed by
    // opening them either.
    SecondProgram third(*context_);
    const QStringList offered = third.docs->RecoveryFiles();
    ASSERT_EQ(QStringList{Q(dir_.Path("recovery/bake-20260101-090000.tvr"))}, offered);
    ASSERT_EQ(1, third.docs->RestoreRecoveryFiles(true).size());
    SecondProgram fourth(*context_);
    EXPECT_TRUE(fourth.docs->RecoveryFiles().isEmpty());

    // The bake goes on and its record is written and saved as usual.
    Packet(Gauge(bake::CONCC_DEV_BAKING, 3000));
    ASSERT_TRUE(live->WriteRecoveryFile());
    Packet(Gauge(bake::CONCC_DEV_IDLE, 4000));
    EXPECT_FALSE(live->IsModified());
    EXPECT_EQ(1, Records().size());
    EXPECT_FALSE(QFile::exists(running));
}

TEST_F(DocumentTest, TwoProgramsBakingAtOnceKeepFilesOfTheirOwn) {
    SecondProgram second(*context_);
    Connect();
    second.panel.OnDeviceConnected();
    // Both records open within a few milliseconds, most often in one second.
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    second.Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* mine = docs_->ActiveDocument();
    document::ChartDocument* theirs = second.docs->ActiveDocument();
    ASSERT_TRUE(mine && theirs);
    const QString a = mine->RecoveryPath(), b = theirs->RecoveryPath();
    ASSERT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    // Claimed when the record opened, before the first write.
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_TRUE(QFile::exists(b));
    if (document::RecordFileTime(QFileInfo(a).fileName()) ==
        document::RecordFileTime(QFileInfo(b).fileName())) {
        EXPECT_TRUE(b.endsWith(QStringLiteral("-2.tvr"))) << b.toStdString();
    }
    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    second.Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    ASSERT_TRUE(mine->WriteRecoveryFile());
    ASSERT_TRUE(theirs->WriteRecoveryFile());

    // The first bake's end removes its own file only.
    Packet(Gauge(bake::CONCC_DEV_IDLE, 3000));
    EXPECT_FALSE(QFile::exists(a));
    ASSERT_TRUE(QFile::exists(b));
    chart::ChartSet kept;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(kept.LoadChartsXml(b.toStdWString(), ids, error));
    EXPECT_EQ(2u, kept.FindChartByName(L"Temp Main")->Points().size());
}

TEST_F(DocumentTest, AfterAFailedEndOfBakeSaveTheRecoveryFileHoldsTheWholeRecord) {
    context_->recordsFolder = Q(dir_.Write("not-a-folder", "x"));
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    ASSERT_TRUE(doc->WriteRecoveryFile());  // an early tick: one point
    for (uint64_t t = 2000; t <= 9000; t += 1000) Packet(Gauge(bake::CONCC_DEV_BAKING, t));
    Packet(Gauge(bake::CONCC_DEV_IDLE, 10000));  // the save fails
    ASSERT_TRUE(doc->IsModified());
    // No tick ran since the first; what a crash now would leave is whole.
    chart::ChartSet left;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(left.LoadChartsXml(doc->RecoveryPath().toStdWString(), ids, error));
    EXPECT_EQ(9u, left.FindChartByName(L"Temp Main")->Points().size());
    // And it is still this program's, not another's to offer.
    SecondProgram second(*context_);
    EXPECT_TRUE(second.docs->RecoveryFiles().isEmpty());
}

TEST_F(DocumentTest, UnreadableRecoveryFilesAreOfferedInOneQuestionWithTheirReasons) {
    QDir().mkpath(Q(dir_.Path("recovery")));
    ASSERT_NO_FATAL_FAILURE(WriteRecord(dir_.Path("recovery/bake-20260101-080000.tvr"), 3));
    constexpr int kBroken = 300;
    for (int i = 0; i < kBroken; ++i)
        dir_.Write("recovery/bake-20260102-" + std::to_string(100000 + i) + ".tvr", "not xml");
    // Reserved by a program that ended before its first write: nothing to
    // offer, and nothing left.
    dir_.Write("recovery/bake-20260103-000000.tvr", "");
    const QStringList all = QDir(Q(dir_.Path("recovery"))).entryList(QDir::Files);
    ASSERT_EQ(kBroken + 2, all.size());

    struct Case {
        document::RecoveryAnswer answer;
        int opened;
        int remaining;  // files left in the folder
    } cases[] = {
        {document::RecoveryAnswer::Later, 0, kBroken + 1},
        // The unreadable stay for a rescue; the record opened keeps its file.
        {document::RecoveryAnswer::Open, 1, kBroken + 1},
        {document::RecoveryAnswer::Discard, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.answer));
        log_.lines.clear();
        QString text;
        QList<document::RecoveryEntry> files;
        std::function<void(document::RecoveryAnswer)> answer;
        int questions = 0;
        docs_->OfferRecoveryFiles([&](const QString& t, const QList<document::RecoveryEntry>& f,
                                      std::function<void(document::RecoveryAnswer)> a) {
            ++questions;
            text = t;
            files = f;
            answer = std::move(a);
        });
        ASSERT_EQ(1, questions);
        const int offered = c.answer == document::RecoveryAnswer::Discard ? kBroken : kBroken + 1;
        ASSERT_EQ(offered, files.size());
        EXPECT_EQ(QStringLiteral("%1 bake record(s) were not saved when the program last ended.")
                      .arg(offered),
                  text);
        int unreadable = 0;
        for (const document::RecoveryEntry& e : files) unreadable += e.problem.isEmpty() ? 0 : 1;
        EXPECT_EQ(kBroken, unreadable);
        EXPECT_FALSE(files.back().problem.isEmpty());
        ASSERT_FALSE(log_.lines.empty());
        EXPECT_EQ(text.toStdWString(), log_.lines.front().text);

        const size_t before = log_.lines.size();
        const int windows = int(area_.subWindowList().size());
        answer(c.answer);
        answer(document::RecoveryAnswer::Discard);  // a second answer is ignored
        // One line for the answer (the records it opens are logged as any
        // opened document is).
        EXPECT_EQ(1, std::count_if(log_.lines.begin() + long(before), log_.lines.end(),
                                   [](const auto& l) { return l.source == L"Recovery"; }));
        EXPECT_EQ(c.opened, int(area_.subWindowList().size()) - windows);
        EXPECT_EQ(c.remaining, int(QDir(Q(dir_.Path("recovery"))).entryList(QDir::Files).size()));
        // No box for any file, readable or not.
        EXPECT_TRUE(box_.messages.empty());
    }
    // The record opened is claimed: discarding the rest did not touch it.
    ASSERT_EQ(1, docs_->Documents().size());
    EXPECT_TRUE(QFile::exists(docs_->Documents()[0]->RecoveryPath()));
}

TEST_F(DocumentTest, ARecordNamedDuringItsBakeIsSavedWholeUnderThatName) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    document::ChartDocument* doc = docs_->ActiveDocument();
    savePath_ = Q(dir_.Path("mine.tvr"));
    ASSERT_TRUE(WindowOf(doc)->SaveAs());
    Packet(Gauge(bake::CONCC_DEV_BAKING, 3000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 4000));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc, BakeRecord());

    Packet(Gauge(bake::CONCC_DEV_IDLE, 5000));
    // The operator's file holds the whole bake; nothing went beside it.
    EXPECT_TRUE(Records().isEmpty()) << Records().join(' ').toStdString();
    EXPECT_EQ(savePath_, doc->FilePath());
    EXPECT_EQ(QStringLiteral("mine.tvr"), doc->Title());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(4, PointsInFile(savePath_, L"Temp Main"));
    EXPECT_EQ((QStringList{savePath_, savePath_}), savedPaths_);
    EXPECT_TRUE(docs_->RecoveryFiles().isEmpty());
    EXPECT_TRUE(box_.messages.empty());

    // The operator's file can no longer be written when the next bake that
    // was named ends: said, and the whole record kept for recovery.
    ASSERT_TRUE(QDir().mkpath(Q(dir_.Path("gone"))));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 6000));
    document::ChartDocument* second = docs_->ActiveDocument();
    ASSERT_NE(doc, second);
    savePath_ = Q(dir_.Path("gone/second.tvr"));
    ASSERT_TRUE(WindowOf(second)->SaveAs());
    Packet(Gauge(bake::CONCC_DEV_BAKING, 7000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 8000));
    const QString recovery = second->RecoveryPath();
    ASSERT_FALSE(recovery.isEmpty());
    ASSERT_TRUE(QDir(Q(dir_.Path("gone"))).removeRecursively());
    log_.lines.clear();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 9000));
    EXPECT_TRUE(second->IsModified());
    EXPECT_TRUE(Records().isEmpty());
    EXPECT_TRUE(Logged(log_.lines, 'E', L"SaveDocument", savePath_));
    ASSERT_TRUE(uitest::PumpUntil([&] { return !box_.messages.empty(); }));
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);
    EXPECT_EQ(3, PointsInFile(recovery, L"Temp Main"));
}

TEST_F(DocumentTest, FileNewDuringABakeIsABlankDocumentAndTheRecordGoesOn) {
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* record = docs_->ActiveDocument();
    ASSERT_NE(nullptr, record);
    document::ChartDocument* blank = recorder_->NewDocument();
    ASSERT_NE(nullptr, blank);
    ASSERT_NE(record, blank);
    EXPECT_EQ(blank, docs_->ActiveDocument());
    EXPECT_EQ(QStringLiteral("Chart2"), blank->Title());
    EXPECT_EQ(record, BakeRecord());
    std::set<int> ids;
    blank->Set().GetChartIds(ids);
    EXPECT_TRUE(ids.empty());

    Packet(Gauge(bake::CONCC_DEV_BAKING, 2000));
    Packet(ProfileReport(1000, {{0, 2500}, {10000, 5000}}, panel_.SequenceId()));
    EXPECT_TRUE(record->IsLiveBake());
    EXPECT_FALSE(blank->IsLiveBake());
    EXPECT_FALSE(blank->IsModified());
    chart::ui::ChartWidget* c = WindowOf(record)->Container();
    EXPECT_EQ(2u, c->Set().FindChartByName(L"Temp Main")->Points().size());
    EXPECT_EQ(2u, c->Set().FindChartByName(L"Profile")->Points().size());
    Packet(Gauge(bake::CONCC_DEV_IDLE, 3000));
    ASSERT_EQ(1, Records().size());
    EXPECT_EQ(2, PointsInFile(record->FilePath(), L"Temp Main"));
    EXPECT_TRUE(blank->FilePath().isEmpty());

    // Idle: a new document records the plate, as before.
    document::ChartDocument* idle = recorder_->NewDocument();
    EXPECT_EQ(idle, BakeRecord());
    EXPECT_TRUE(idle->Channels().Created());
}

TEST_F(DocumentTest, AnImportIsAChangeThatClosingAsksAbout) {
    const chart::ChartPoint pts[] = {{0, 25}, {60, 150}};
    chart::ChartSet source;
    const int id = source.AddChart(pts, L"Reflow", L"Temperature", 0, 2.0f, 0.0f, 0xFF00FF00u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("p.tvr"), {id}, error));
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("p.xml"), {id}, error));

    document::ChartDocument* doc = docs_->OpenDocument(Q(dir_.Path("p.tvr")));
    ASSERT_NE(nullptr, doc);
    ASSERT_FALSE(doc->IsModified());
    importPath_ = Q(dir_.Write("bad.xml", "<Other/>"));  // a failed import changes nothing
    WindowOf(doc)->ImportChart();
    EXPECT_FALSE(doc->IsModified());
    importPath_ = Q(dir_.Path("p.xml"));
    WindowOf(doc)->ImportChart();
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(WindowOf(doc)->isWindowModified());

    QPointer<document::ChartDocument> alive(doc);
    saveChoice_ = document::SaveChoice::Cancel;
    EXPECT_FALSE(WindowOf(doc)->close());
    EXPECT_EQ(QStringList{QStringLiteral("p.tvr")}, askedToSave_);
    EXPECT_TRUE(alive);
    // Saved, it is clean again, and the file has both charts.
    ASSERT_TRUE(WindowOf(doc)->Save());
    EXPECT_FALSE(doc->IsModified());
    std::set<int> ids;
    chart::ChartSet back;
    ASSERT_TRUE(back.LoadChartsXml(dir_.WPath("p.tvr"), ids, error));
    EXPECT_EQ(2u, ids.size());
}

TEST_F(DocumentTest, AnOpenedFileShowsAllItsDataAndAFinishedBakeToo) {
    std::vector<chart::ChartPoint> pts;
    for (int t = 0; t <= 3600; t += 60) pts.push_back({double(t), 20.0 + t / 16.0});
    chart::ChartSet source;
    const int id = source.AddChart(pts, L"Long", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("long.tvr"), {id}, error));

    document::ChartDocument* opened = docs_->OpenDocument(Q(dir_.Path("long.tvr")));
    ASSERT_NE(nullptr, opened);
    uitest::Pump();
    chart::ui::ChartWidget* c = WindowOf(opened)->Container();
    auto fits = [](chart::ui::ChartWidget* w, double lastX, double maxY) {
        const auto v = w->CurrentLayout().visible;
        return v.left <= 0.0 && v.right >= lastX && v.right < lastX * 1.5 && v.top >= maxY &&
               w->HomeRange().maxX >= lastX;
    };
    EXPECT_TRUE(fits(c, 3600.0, 245.0)) << c->CurrentLayout().visible.right;
    // Still so in another window size.
    WindowOf(opened)->showNormal();
    WindowOf(opened)->resize(500, 300);
    uitest::Pump();
    EXPECT_TRUE(fits(c, 3600.0, 245.0)) << c->CurrentLayout().visible.right;

    // A new live record starts on the fixed range and follows; once its bake
    // ends it shows the whole bake.
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* record = docs_->ActiveDocument();
    c = WindowOf(record)->Container();
    EXPECT_EQ(260, c->HomeRange().maxX);
    Packet(Gauge(bake::CONCC_DEV_BAKING, 401000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 801000));
    EXPECT_GT(c->CurrentLayout().visible.left, 0.0);
    EXPECT_EQ(260, c->HomeRange().maxX);
    Packet(Gauge(bake::CONCC_DEV_IDLE, 900000));
    EXPECT_TRUE(fits(c, 800.0, 30.0))
        << c->CurrentLayout().visible.left << " " << c->CurrentLayout().visible.right;
}

TEST_F(DocumentTest, DocumentsOpenMaximizedOnceEachAndARecoveredRecordStaysInFront) {
    const chart::ChartPoint pts[] = {{0, 25}, {60, 150}};
    chart::ChartSet source;
    const int id = source.AddChart(pts, L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("a.tvr"), {id}, error));

    document::ChartDocument* a = docs_->OpenDocument(Q(dir_.Path("a.tvr")));
    ASSERT_NE(nullptr, a);
    EXPECT_TRUE(WindowOf(a)->isMaximized());
    document::ChartDocument* other = recorder_->NewDocument();
    EXPECT_TRUE(WindowOf(other)->isMaximized());
    EXPECT_EQ(other, docs_->ActiveDocument());
    // The same file again, by another spelling of its path: the one window.
    EXPECT_EQ(a, docs_->OpenDocument(Q(dir_.Path(".")) + QStringLiteral("/./a.tvr")));
    EXPECT_EQ(2, area_.subWindowList().size());
    EXPECT_EQ(a, docs_->ActiveDocument());

    // A record left by a killed run, then the bake still running opens its
    // new record: the recovered one stays in front.
    QDir().mkpath(Q(dir_.Path("recovery")));
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("recovery/bake-20260101-074500.tvr"), {id}, error));
    ASSERT_EQ(1, docs_->RecoveryFiles().size());  // the question's scan
    const QList<document::ChartDocument*> recovered = docs_->RestoreRecoveryFiles(true);
    ASSERT_EQ(1, recovered.size());
    Connect();
    Packet(Gauge(bake::CONCC_DEV_BAKING, 1000));
    document::ChartDocument* record = nullptr;
    for (document::ChartDocument* d : docs_->Documents()) {
        if (d == BakeRecord())
            record = d;
    }
    ASSERT_NE(nullptr, record);
    EXPECT_TRUE(record->IsLiveBake());
    EXPECT_EQ(recovered[0], docs_->ActiveDocument());
    EXPECT_EQ(WindowOf(recovered[0]), area_.subWindowList(QMdiArea::StackingOrder).last());
    EXPECT_TRUE(WindowOf(recovered[0])->isMaximized());
    // Once that one is dealt with, the next bake's record comes in front.
    savePath_ = Q(dir_.Path("recovered.tvr"));
    ASSERT_TRUE(WindowOf(recovered[0])->Save());
    Packet(Gauge(bake::CONCC_DEV_IDLE, 2000));
    Packet(Gauge(bake::CONCC_DEV_BAKING, 3000));
    EXPECT_EQ(BakeRecord(), docs_->ActiveDocument());
}

TEST_F(DocumentTest, TheLogTellsOpensSavesUploadsAndDiscards) {
    const chart::ChartPoint pts[] = {{0, 25}, {60, 150}};
    chart::ChartSet source;
    const int a = source.AddChart(pts, L"Reflow", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("one.tvr"), {a}, error));
    const int b = source.AddChart(pts, L"B", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    ASSERT_TRUE(source.SaveChartsXml(dir_.WPath("two.tvr"), {a, b}, error));

    document::ChartDocument* one = docs_->OpenDocument(Q(dir_.Path("one.tvr")));
    ASSERT_NE(nullptr, one);
    EXPECT_TRUE(Logged(log_.lines, 'M', L"OpenDocument", Q(dir_.Path("one.tvr"))));
    EXPECT_EQ(nullptr, docs_->OpenDocument(Q(dir_.Write("junk.tvr", "not XML"))));
    EXPECT_TRUE(Logged(log_.lines, 'E', L"OpenDocument", Q(dir_.Path("junk.tvr"))));

    ASSERT_TRUE(one->SaveTo(Q(dir_.Path("copy.tvr"))));
    EXPECT_TRUE(Logged(log_.lines, 'M', L"SaveDocument", Q(dir_.Path("copy.tvr"))));
    EXPECT_FALSE(one->SaveTo(Q(dir_.Path("no/such/folder.tvr"))));
    EXPECT_TRUE(Logged(log_.lines, 'E', L"SaveDocument", Q(dir_.Path("no/such/folder.tvr"))));

    // An upload, and the controller's answer.
    Connect();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 1000));
    one->UploadBakeProfile();
    EXPECT_TRUE(Logged(log_.lines, 'M', L"UploadBakeProfile", QStringLiteral("\"Reflow\"")));
    std::vector<uint8_t> reply(12, 0);
    reply[0] = uint8_t(bake::CONCC_PKT_SET_PROFILE);
    Packet(reply);
    EXPECT_TRUE(Logged(log_.lines, 'M', L"OnBoardPktReceived",
                       QStringLiteral("Temperature profile set, you can bake now!")));
    // A link that refuses the packet: the upload is told before its error.
    log_.lines.clear();
    link_.sendResult = 1;
    one->UploadBakeProfile();
    link_.sendResult = 0;
    ASSERT_EQ(2u, log_.lines.size());
    EXPECT_EQ(L"UploadBakeProfile", log_.lines[0].source);
    EXPECT_EQ('E', log_.lines[1].kind);
    EXPECT_EQ(L"SendProfile", log_.lines[1].source);
    // A refused one says why.
    document::ChartDocument* two = docs_->OpenDocument(Q(dir_.Path("two.tvr")));
    two->UploadBakeProfile();
    EXPECT_TRUE(Logged(log_.lines, 'W', L"UploadBakeProfile",
                       QStringLiteral("Select one chart to upload!")));

    // A record closed without saving it.
    document::ChartDocument* record = recorder_->NewDocument();
    Packet(Gauge(bake::CONCC_DEV_IDLE, 2000));
    ASSERT_TRUE(record->IsModified());
    saveChoice_ = document::SaveChoice::Discard;
    EXPECT_TRUE(WindowOf(record)->close());
    EXPECT_TRUE(Logged(log_.lines, 'W', L"CloseDocument", QStringLiteral("Chart1")));
}

namespace {

// Resident bytes of this process.
double ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) * 1024.0;
    }
    return 0;
}

}  // namespace

// An operator who never closes anything by hand still has every finished
// bake's record closed by the program, or closes it: fifty ten-minute bakes,
// each recorded, saved at its end and closed, leave the memory where the
// first one left it.
TEST_F(DocumentTest, FiftyBakesRecordedAndClosedLeaveTheMemoryWhereItWas) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine; resident size says "
                    "nothing about what the program holds";
#endif
    context_->recoveryIntervalMs = 24 * 3600 * 1000;  // the timer is not what is measured
    Connect();
    uint64_t clock = 1000;
    auto bake = [&]() -> ::testing::AssertionResult {
        // Ten minutes at 10 packets a second.
        for (int i = 0; i < 6000; ++i, clock += 100)
            Packet(Gauge(bake::CONCC_DEV_BAKING, clock, 2500 + (i % 300)));
        document::ChartDocument* doc = docs_->ActiveDocument();
        if (!doc || !doc->IsLiveBake())
            return ::testing::AssertionFailure() << "no live record";
        Packet(Gauge(bake::CONCC_DEV_IDLE, clock += 100));
        if (doc->IsModified())
            return ::testing::AssertionFailure() << "the record was not saved at the bake's end";
        if (!WindowOf(doc)->close())
            return ::testing::AssertionFailure() << "the record did not close";
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        return ::testing::AssertionSuccess();
    };
    // The first bake sets up what every later one reuses (fonts, caches,
    // the allocator's pools): the start is after it.
    ASSERT_TRUE(bake());
    const double start = ResidentBytes();
    for (int i = 1; i < 50; ++i) ASSERT_TRUE(bake()) << "bake " << i + 1;
    const double end = ResidentBytes();
    EXPECT_EQ(50, Records().size());
    EXPECT_TRUE(area_.subWindowList().isEmpty());
    EXPECT_LE(end, start * 1.10) << "resident " << start / 1e6 << " MB after the first bake, "
                                 << end / 1e6 << " MB after fifty";
}

TEST(PlaceNewDocument, FitsTheAreaAndCascadesWhileThereIsRoom) {
    struct Case {
        const char* what;
        QSize room;
        std::optional<QPoint> previous;
        QRect expected;
    };
    const QSize preferred(720, 460), minimum(320, 200);
    const Case cases[] = {
        {"a big area, the first window", {1000, 700}, std::nullopt, {0, 0, 720, 460}},
        {"cascaded below the window before", {1000, 700}, QPoint(0, 0), {24, 24, 720, 460}},
        {"no room to cascade: back to the corner", {1000, 700}, QPoint(260, 220), {0, 0, 720, 460}},
        {"an area smaller than the window", {790, 420}, QPoint(0, 0), {0, 0, 720, 420}},
        {"exactly the area", {720, 460}, QPoint(0, 0), {0, 0, 720, 460}},
        {"an area too small to read in keeps the readable size",
         {300, 150},
         std::nullopt,
         {0, 0, 720, 460}},
    };
    for (const Case& c : cases) {
        const QRect r = document::PlaceNewDocument(preferred, minimum, c.room, c.previous, 24);
        EXPECT_EQ(c.expected, r) << c.what;
    }
}
