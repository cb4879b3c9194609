// The chart document on its own: no window, no widget library, no control
// panel. Only Qt's core runs it (its timers and queued calls), so that what
// keeps a record from being lost is shown without anything on a screen.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "document/chart_document.h"
#include "document/record_name.h"
#include "tests/support/event_loop.h"
#include "tests/support/recorders.h"
#include "tests/support/temp_dir.h"

namespace {

// One core application for the whole test program: the document's timers
// and queued calls need an event loop, and nothing here needs a screen.
class CoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[20] = "chart_document_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};
const bool registered = (::testing::AddGlobalTestEnvironment(new CoreEnvironment), true);

using test_support::RecordingMessageBox;
using test_support::RecordingTraceLog;

// Whether the log has a line of `kind` holding `part`.
bool Logged(const RecordingTraceLog& log, char kind, const std::wstring& part) {
    for (const auto& l : log.lines)
        if (l.kind == kind && l.text.find(part) != std::wstring::npos)
            return true;
    return false;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bake::CONCC_GaugeData Gauge(uint64_t timestamp, int32_t tempMain = 2500) {
    bake::CONCC_GaugeData g;
    g.timestamp = timestamp;
    g.tempMain = tempMain;
    return g;
}

class ChartDocumentTest : public ::testing::Test {
protected:
    ChartDocumentTest() {
        context_ = std::make_shared<document::DocumentContext>();
        context_->messages = &boxes_;
        context_->log = &log_;
        context_->recordsFolder = Q(dir_.Path("records"));
        context_->recoveryFolder = Q(dir_.Path("recovery"));
        context_->recoveryIntervalMs = 20;
        context_->saved = [this](const QString& path) { saved_ << path; };
        context_->sendProfile = [this](std::optional<std::span<const bake::ProfileSample>> points) {
            sent_.push_back(points ? std::vector(points->begin(), points->end())
                                   : std::vector<bake::ProfileSample>{});
        };
    }

    std::unique_ptr<document::ChartDocument> Record(uint64_t startTime = 1000) {
        return document::ChartDocument::NewRecord(context_, startTime);
    }
    QStringList Files(const char* folder) const {
        return QDir(Q(dir_.Path(folder))).entryList({QStringLiteral("*.tvr")}, QDir::Files);
    }
    // A chart file of one chart with `points` points.
    QString ChartFile(const char* name, int points) {
        chart::ChartSet source;
        std::vector<chart::ChartPoint> pts;
        pts.reserve(size_t(points));
        for (int i = 0; i < points; ++i) pts.push_back({i * 10.0, 25.0 + i});
        const int id = source.AddChart(pts, L"Reflow", L"Temperature", 0, 2.0f, 0.0f, 0xFF00FF00u);
        std::wstring error;
        EXPECT_TRUE(source.SaveChartsXml(dir_.WPath(name), {id}, error));
        return Q(dir_.Path(name));
    }

    test_support::TempDir dir_;
    RecordingTraceLog log_;
    RecordingMessageBox boxes_;
    std::shared_ptr<document::DocumentContext> context_;
    QStringList saved_;
    std::vector<std::vector<bake::ProfileSample>> sent_;
};

}  // namespace

TEST_F(ChartDocumentTest, ARecordTakesNewerReadingsAsAChange) {
    auto first = Record();
    auto second = Record();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(QStringLiteral("Chart1"), first->Title());
    EXPECT_EQ(QStringLiteral("Chart2"), second->Title());
    std::set<int> ids;
    first->Set().GetChartIds(ids);
    EXPECT_EQ(size_t(document::kChannelCount), ids.size());
    EXPECT_TRUE(first->IsUntouched());
    EXPECT_FALSE(first->ShowsWholeRecord());

    QSignalSpy appended(first.get(), &document::ChartDocument::pointsAppended);
    QSignalSpy modified(first.get(), &document::ChartDocument::modifiedChanged);
    first->AppendGauge(Gauge(3000));
    first->AppendGauge(Gauge(3000));  // not newer: nothing
    first->AppendGauge(Gauge(2000));
    first->AppendGauge(Gauge(4000));
    EXPECT_EQ(2, appended.count());
    ASSERT_EQ(1, modified.count());  // told once, not per reading
    EXPECT_TRUE(first->IsModified());
    EXPECT_FALSE(first->IsUntouched());
    const chart::ChartSeries* main =
        first->Set().FindChart(first->Channels().Id(document::kTempMain));
    ASSERT_NE(nullptr, main);
    ASSERT_EQ(2u, main->Points().size());
    EXPECT_DOUBLE_EQ(2.0, main->Points()[0].x);  // seconds since the start time
    EXPECT_DOUBLE_EQ(25.0, main->Points()[0].y);
}

TEST_F(ChartDocumentTest, SavedAndReopenedAndEveryFileErrorShownAndLogged) {
    auto doc = Record();
    doc->AppendGauge(Gauge(2000));
    QSignalSpy title(doc.get(), &document::ChartDocument::titleChanged);
    const QString path = Q(dir_.Path("one.tvr"));
    ASSERT_TRUE(doc->SaveTo(path));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(QFileInfo(path).absoluteFilePath(), doc->FilePath());
    ASSERT_EQ(1, title.count());
    EXPECT_EQ(QStringLiteral("one.tvr"), doc->Title());
    EXPECT_EQ(QStringList{doc->FilePath()}, saved_);
    EXPECT_TRUE(Logged(log_, 'M', L"Saved "));

    auto reopened = document::ChartDocument::OpenDocument(context_, path);
    ASSERT_NE(nullptr, reopened);
    EXPECT_TRUE(reopened->ShowsWholeRecord());
    EXPECT_FALSE(reopened->IsModified());
    const chart::ChartSeries* main = reopened->Set().FindChartByName(L"Temp Main");
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(1u, main->Points().size());

    // Failures: shown, logged, and the document stays as it was.
    doc->AppendGauge(Gauge(3000));
    EXPECT_FALSE(doc->SaveTo(Q(dir_.Path("no/such/folder/x.tvr"))));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(QFileInfo(path).absoluteFilePath(), doc->FilePath());
    EXPECT_TRUE(Logged(log_, 'E', L"Cannot save"));

    auto blank = document::ChartDocument::NewBlankDocument(context_);
    boxes_.messages.clear();
    EXPECT_FALSE(blank->SaveTo(Q(dir_.Path("blank.tvr"))));
    ASSERT_EQ(1u, boxes_.messages.size());
    EXPECT_EQ(L"No charts to save!", boxes_.messages[0].text);

    boxes_.messages.clear();
    EXPECT_EQ(nullptr, document::ChartDocument::OpenDocument(context_, Q(dir_.Path("gone.tvr"))));
    EXPECT_EQ(1u, boxes_.messages.size());
    EXPECT_TRUE(Logged(log_, 'E', L"Cannot open"));
}

TEST_F(ChartDocumentTest, ABakeIsWrittenForRecoveryWhileItRunsAndSavedWhenItEnds) {
    auto doc = Record();
    doc->BeginLiveBake();
    // The name is claimed at once, before any point.
    const QString recovery = doc->RecoveryPath();
    ASSERT_FALSE(recovery.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(recovery));
    for (uint64_t t = 2000; t <= 6000; t += 1000) doc->AppendGauge(Gauge(t, 2000 + int(t / 10)));
    // The timer writes it on a thread of its own; a reader finds all points.
    ASSERT_TRUE(test_support::PumpUntil([&] {
        chart::ChartSet read;
        std::set<int> ids;
        std::wstring error;
        if (doc->RecoveryWriteRunning() || !read.LoadChartsXml(recovery.toStdWString(), ids, error))
            return false;
        const chart::ChartSeries* s = read.FindChartByName(L"Temp Main");
        return s && s->Points().size() == 5;
    }));

    QSignalSpy whole(doc.get(), &document::ChartDocument::wholeRecordShown);
    doc->EndLiveBake();
    EXPECT_EQ(1, whole.count());
    EXPECT_TRUE(doc->ShowsWholeRecord());
    EXPECT_FALSE(doc->IsLiveBake());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(QFileInfo::exists(recovery));
    const QStringList records = Files("records");
    ASSERT_EQ(1, records.size());
    EXPECT_EQ(QFileInfo(doc->FilePath()).fileName(), records[0]);
    EXPECT_EQ(document::RecordFileName(doc->BakeStart()), records[0]);
    EXPECT_EQ(QStringList{doc->FilePath()}, saved_);
    EXPECT_TRUE(Files("recovery").isEmpty());
}

TEST_F(ChartDocumentTest, AFailedEndOfBakeSaveKeepsTheWholeRecordForRecovery) {
    context_->recordsFolder = Q(dir_.Path("file-not-folder"));
    ASSERT_TRUE(QFile(context_->recordsFolder).open(QIODevice::WriteOnly));
    context_->recoveryIntervalMs = 60000;  // only the end writes it
    auto doc = Record();
    doc->BeginLiveBake();
    doc->AppendGauge(Gauge(2000));
    doc->AppendGauge(Gauge(3000));
    doc->EndLiveBake();
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(doc->FilePath().isEmpty());
    EXPECT_TRUE(Logged(log_, 'E', L"Unable to create the records folder"));
    // The box waits for the event loop: the panel finishes its packet first.
    EXPECT_TRUE(boxes_.messages.empty());
    ASSERT_TRUE(test_support::PumpUntil([&] { return !boxes_.messages.empty(); }));
    chart::ChartSet read;
    std::set<int> ids;
    std::wstring error;
    ASSERT_TRUE(read.LoadChartsXml(doc->RecoveryPath().toStdWString(), ids, error)) << error;
    EXPECT_EQ(2u, read.FindChartByName(L"Temp Main")->Points().size());
}

TEST_F(ChartDocumentTest, ClosingEndsTheRecordAndLogsChangesItLoses) {
    auto doc = Record();
    doc->BeginLiveBake();
    doc->AppendGauge(Gauge(2000));
    const QString recovery = doc->RecoveryPath();
    QSignalSpy closed(doc.get(), &document::ChartDocument::closed);
    doc->Close();
    EXPECT_EQ(1, closed.count());
    EXPECT_FALSE(doc->IsLiveBake());
    EXPECT_FALSE(QFileInfo::exists(recovery));
    EXPECT_TRUE(Logged(log_, 'W', L"Chart1 closed unsaved: its changes are lost"));

    // A saved one closes without a word.
    auto saved = Record();
    saved->AppendGauge(Gauge(2000));
    ASSERT_TRUE(saved->SaveTo(Q(dir_.Path("kept.tvr"))));
    const size_t lines = log_.lines.size();
    saved->Close();
    EXPECT_EQ(lines, log_.lines.size());
}

TEST_F(ChartDocumentTest, AnImportIsAChangeAndAFailedOneChangesNothing) {
    auto doc = document::ChartDocument::NewBlankDocument(context_);
    EXPECT_TRUE(doc->ImportChart(ChartFile("p.xml", 3)));
    EXPECT_TRUE(doc->IsModified());
    std::set<int> ids;
    doc->Set().GetChartIds(ids);
    EXPECT_EQ(1u, ids.size());

    ASSERT_TRUE(QFile(Q(dir_.Path("bad.xml"))).open(QIODevice::WriteOnly));
    EXPECT_FALSE(doc->ImportChart(Q(dir_.Path("bad.xml"))));
    ASSERT_EQ(1u, boxes_.messages.size());
    EXPECT_EQ(platform::MessageIcon::Error, boxes_.messages[0].icon);
    ids.clear();
    doc->Set().GetChartIds(ids);
    EXPECT_EQ(1u, ids.size());
}

TEST_F(ChartDocumentTest, UploadSendsTheOneChartOnlyWhileTheControllerIsIdle) {
    auto doc = document::ChartDocument::NewBlankDocument(context_);
    ASSERT_TRUE(doc->ImportChart(ChartFile("p.xml", 4)));
    doc->UploadBakeProfile();
    EXPECT_TRUE(sent_.empty());  // not Idle: nothing goes out, nothing is said

    context_->controllerIdle = true;
    doc->UploadBakeProfile();
    ASSERT_EQ(1u, sent_.size());
    ASSERT_EQ(4u, sent_[0].size());
    EXPECT_DOUBLE_EQ(30.0, sent_[0][3].seconds);
    EXPECT_DOUBLE_EQ(28.0, sent_[0][3].degrees);
    EXPECT_TRUE(
        Logged(log_, 'M', L"Uploading chart \"Reflow\" of Chart1 (4 points) as bake profile"));

    // Two charts and none selected: the operator is told to pick one.
    ASSERT_TRUE(doc->ImportChart(ChartFile("q.xml", 4)));
    doc->UploadBakeProfile();
    EXPECT_EQ(1u, sent_.size());
    ASSERT_EQ(1u, boxes_.messages.size());
    EXPECT_EQ(bake::kSelectOneChartText, boxes_.messages[0].text);
    EXPECT_TRUE(Logged(log_, 'W', L"No bake profile uploaded from Chart1"));
}

TEST_F(ChartDocumentTest, ARecoveredRecordIsNamedAfterItsFileAndCountsAsChanged) {
    const QString folder = Q(dir_.Path("recovery"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = ChartFile("recovery/bake-20260101-074500.tvr", 3);
    document::RecoveryFile::TakeResult result;
    document::RecoveryFile file =
        document::RecoveryFile::Take(path.toStdWString(), &result, nullptr);
    ASSERT_TRUE(file.Valid());
    auto doc = document::ChartDocument::OpenDocument(context_, path);
    ASSERT_NE(nullptr, doc);
    QSignalSpy title(doc.get(), &document::ChartDocument::titleChanged);
    doc->AdoptRecoveryFile(std::move(file));
    EXPECT_EQ(1, title.count());
    EXPECT_EQ(QStringLiteral("bake-20260101-074500"), doc->Title());
    EXPECT_TRUE(doc->FilePath().isEmpty());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(QDateTime(QDate(2026, 1, 1), QTime(7, 45)), doc->BakeStart());
    // Saved, it lets its recovery file go.
    ASSERT_TRUE(doc->SaveTo(Q(dir_.Path("rescued.tvr"))));
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(doc->RecoveryPath().isEmpty());
}
