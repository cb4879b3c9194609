// The bake report in the program: the pane against a window, the guides on
// the chart (never charts of the record), the operator's windows, and the
// main frame's end-of-bake log line, PDF export and comparison.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cmath>
#include <set>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "report/ui/report_pane.h"
#include "report/ui/window_dialog.h"
#include "report/ui/window_store.h"
#include "shell/application.h"
#include "shell/output_pane.h"
#include "shell/report_commands.h"
#include "tests/support/document_window.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/process.h"
#include "tests/support/program_test.h"
#include "tests/support/ui_test_support.h"

using test_support::WindowOf;
namespace {

// Up at 2 C/s to 225, 50 s flat, down at 4 C/s.
double Trapezoid(double x) {
    if (x <= 100)
        return 25 + 2 * x;
    if (x <= 150)
        return 225;
    return 225 - 4 * (x - 150);
}

const chart::ChartPoint kCurve[] = {{0, 25}, {100, 225}, {150, 225}, {200, 25}};

int AddChart(chart::ui::ChartWidget& c, const wchar_t* name,
             std::span<const chart::ChartPoint> pts) {
    return c.Set().AddChart(pts, name, L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
}

TEST(ReportPane, JudgesTheChartAndDrawsGuidesThatAreNoCharts) {
    uitest::ClearSettings();
    chart::ui::ChartWidget chart;
    chart.resize(600, 400);
    AddChart(chart, L"Temp Main", kCurve);
    chart.ZoomToRange(0, 200, 0, 300);
    const QImage plain = chart.RenderFrame(1.0).copy();

    report::ui::ReportPane pane;
    pane.SetChart(&chart, QStringLiteral("rec.tvr"));
    ASSERT_TRUE(pane.CurrentReport());
    EXPECT_EQ(QStringLiteral("FAIL (pbfree)"), pane.VerdictLabel()->text());
    EXPECT_TRUE(pane.ReasonsLabel()->text().contains(
        QStringLiteral("peak_c 225 is below its minimum 235")));
    QTableWidget* table = pane.Table();
    ASSERT_EQ(14, table->rowCount());
    EXPECT_EQ(QStringLiteral("peak_c"), table->item(0, 0)->text());
    EXPECT_EQ(QStringLiteral("225"), table->item(0, 1)->text());
    EXPECT_EQ(QStringLiteral("235 .. 260"), table->item(0, 2)->text());
    const QColor failFill = table->item(0, 1)->background().color();
    const QColor passFill = table->item(4, 1)->background().color();  // ramp_up 2 <= 3
    EXPECT_EQ(QStringLiteral("ramp_up_c_per_s"), table->item(4, 0)->text());
    EXPECT_GT(failFill.red(), failFill.green());
    EXPECT_GT(passFill.green(), passFill.red());
    EXPECT_EQ(Qt::NoBrush, table->item(1, 1)->background().style());  // peak_time_s: no limit

    // The guides are painted over the chart while shown, and never become charts.
    ASSERT_TRUE(chart.HasDecoration());
    EXPECT_NE(plain, chart.RenderFrame(1.0).copy());
    EXPECT_EQ(1u, chart.Set().Charts().size());
    pane.SetGuidesShown(false);
    EXPECT_FALSE(chart.HasDecoration());
    EXPECT_EQ(plain, chart.RenderFrame(1.0).copy());

    // A reference is drawn whatever the guides and adds its deviation.
    const chart::ChartPoint ref[] = {{0, 25}, {100, 230}, {150, 230}, {200, 25}};
    pane.SetReference({std::begin(ref), std::end(ref)}, QStringLiteral("good.tvr"));
    EXPECT_TRUE(chart.HasDecoration());
    EXPECT_EQ(1u, chart.Set().Charts().size());
    EXPECT_NEAR(5, *pane.CurrentReport()->metrics[report::Metric::kReferenceMaxDevC], 1e-9);
    pane.SetReference({}, QString());
    EXPECT_FALSE(pane.CurrentReport()->metrics[report::Metric::kReferenceMaxDevC]);

    // Without a window: metrics, no verdict.
    pane.WindowChooser()->setCurrentText(QStringLiteral("(no window)"));
    EXPECT_FALSE(pane.CurrentReport()->verdict);
    EXPECT_EQ(QStringLiteral("No verdict: no process window"), pane.VerdictLabel()->text());
    EXPECT_EQ(QString(), report::ui::ChosenWindowName());
}

TEST(ReportPane, TheOperatorsWindowsAreCheckedAndKept) {
    uitest::ClearSettings();
    report::ui::WindowDialog dialog(QStringLiteral("pbfree"));
    EXPECT_EQ(QStringLiteral("pbfree (mine)"), dialog.NameEdit()->text());
    dialog.NameEdit()->setText(QStringLiteral("Line 2"));
    dialog.TextEdit()->setPlainText(QStringLiteral("ts_min = 150\nts_max = 200\npeak = 3\n"));
    EXPECT_FALSE(dialog.SaveCurrent());
    EXPECT_EQ(QStringLiteral("Line 2:3: unknown key 'peak'"), dialog.Error());
    EXPECT_FALSE(report::ui::WindowByName(QStringLiteral("Line 2")));
    dialog.TextEdit()->setPlainText(
        QStringLiteral("ts_min = 150\nts_max = 200\nt_l = 217\npeak_c_min = 220\n"));
    EXPECT_TRUE(dialog.SaveCurrent()) << dialog.Error().toStdString();
    dialog.NameEdit()->setText(QStringLiteral("snpb"));
    EXPECT_FALSE(dialog.SaveCurrent());  // a built-in name stays the standard's

    EXPECT_EQ((QStringList{"pbfree", "snpb", "Line 2"}), report::ui::WindowNames());
    chart::ui::ChartWidget chart;
    AddChart(chart, L"Temp Main", kCurve);
    report::ui::ReportPane pane;
    pane.SetChart(&chart, QStringLiteral("rec.tvr"));
    pane.WindowChooser()->setCurrentText(QStringLiteral("Line 2"));
    EXPECT_EQ(QStringLiteral("PASS (Line 2)"), pane.VerdictLabel()->text());
    EXPECT_EQ(QStringLiteral("Line 2"), report::ui::ChosenWindowName());
    report::ui::RemoveWindow(QStringLiteral("Line 2"));
    EXPECT_EQ((QStringList{"pbfree", "snpb"}), report::ui::WindowNames());
}

class ProgramReport : public uitest::ProgramTest {
protected:
    void Gauge(uint32_t devState, uint64_t t, double temp) {
        const auto bytes = test_support::GaugePacket(
            {.timestamp = t, .devState = devState, .tempMain = int32_t(std::lround(temp * 100))});
        app_.MainFrame()->ControlFrame()->OnPacket(bytes.data(), uint32_t(bytes.size()));
    }
    QStringList LogLines() const {
        QStringList lines;
        shell::OutputList* list = app_.MainFrame()->Output()->List();
        for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
        return lines;
    }
};

TEST_F(ProgramReport, ABakesVerdictGoesToTheLogAndItsReportToAPdf) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    shell::MainWindow* frame = app_.MainFrame();
    auto* commands = frame->findChild<shell::ReportCommands*>();
    ASSERT_NE(nullptr, commands);
    EXPECT_TRUE(frame->MenuBarMenus().file->actions().contains(commands->ExportAction()));
    EXPECT_TRUE(frame->MenuBarMenus().file->actions().contains(commands->CompareAction()));
    EXPECT_TRUE(commands->Dock()->isHidden());

    frame->ControlFrame()->OnDeviceConnected();
    Gauge(bake::CONCC_DEV_IDLE, 1000, 25);
    for (int s = 0; s <= 200; s += 5)
        Gauge(bake::CONCC_DEV_BAKING, 2000 + uint64_t(s) * 1000, Trapezoid(s));
    document::ChartDocument* record = app_.Documents()->ActiveDocument();
    ASSERT_NE(nullptr, record);
    Gauge(bake::CONCC_DEV_IDLE, 300000, 25);
    ASSERT_TRUE(uitest::PumpUntil([&] {
        return LogLines().filter(QStringLiteral("Bake report of")).size() == 1;
    })) << LogLines().join(QLatin1Char('\n')).toStdString();
    const QString line = LogLines().filter(QStringLiteral("Bake report of")).front();
    EXPECT_TRUE(line.startsWith(QStringLiteral("WAR ["))) << line.toStdString();
    EXPECT_TRUE(
        line.contains(QStringLiteral(": FAIL against pbfree: peak_c 225 is below its "
                                     "minimum 235; preheat_s 25 is below its minimum 60")))
        << line.toStdString();
    EXPECT_FALSE(commands->Dock()->isHidden());
    EXPECT_EQ(WindowOf(record)->Container(), commands->Pane()->Chart());
    // The record holds its channel charts and nothing of the report.
    EXPECT_FALSE(record->FilePath().isEmpty());
    EXPECT_EQ(10u, record->Set().Charts().size());

    const QString pdf = dir_.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(commands->ExportReport(pdf));
    const auto text = test_support::Run({"/usr/bin/pdftotext", pdf.toStdString(), "-"});
    ASSERT_EQ(0, text.code) << text.err;
    for (const char* part : {"Bake report", "Record: bake-", "Controller:", "Verdict: FAIL",
                             "peak_c 225 is below its minimum 235"})
        EXPECT_NE(std::string::npos, text.out.find(part)) << part << "\n" << text.out;

    // Compared with itself: no deviation; the reference is no chart of the record.
    ASSERT_TRUE(commands->CompareWith(record->FilePath()));
    EXPECT_NEAR(0, *commands->Pane()->CurrentReport()->metrics[report::Metric::kReferenceMaxDevC],
                1e-3);
    EXPECT_EQ(10u, record->Set().Charts().size());
    EXPECT_FALSE(commands->CompareWith(dir_.filePath(QStringLiteral("none.tvr"))));
    EXPECT_FALSE(box_.messages.empty());
    frame->close();
    app_.ExitInstance(0);
}

}  // namespace
