// The label boxes: which charts get rows, what the cells say, where the boxes
// go (and when the legend stays away), hit testing, clicks, hovering and the
// dirty rules.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "chart/ui/label_boxes.h"

namespace chart::ui {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

std::vector<std::wstring> RowTexts(const Legend& box, int row) {
    std::vector<std::wstring> texts;
    texts.reserve(box.Columns());
    for (int c = 0; c < box.Columns(); ++c) texts.push_back(box.At(row, c).text);
    return texts;
}

std::vector<int> Ids(const std::vector<const ChartSeries*>& charts) {
    std::vector<int> ids;
    ids.reserve(charts.size());
    for (const ChartSeries* s : charts) ids.push_back(s->id);
    return ids;
}

// Charts 0 and 2 visible with points, 1 hidden, 3 empty.
struct Model : ChartSet {
    Model() {
        const std::vector<ChartPoint> p = {{1, 10}, {3, 30}, {5, 50}};
        AddChart(p, L"A", L"degC", 0, 2, 0, 0xFF0000FF);
        AddChart(p, L"B", L"", 0, 2, 0, 0x200000FF);
        AddChart(p, L"C", L"", 5, 2, 0, 0xFF00FF00);
        AddChart({}, L"D", L"", 0, 2, 0, 0xFF000000);
        ToggleChartVisibility(1);
    }
};

TEST(LabelBoxes, RowsAreTheSelectedChartsElseTheVisibleChartsWithPoints) {
    Model m;
    EXPECT_EQ(Ids(LabelRowCharts(m)), (std::vector<int>{0, 2}));
    m.SetChartSelected(2, true);
    EXPECT_EQ(Ids(LabelRowCharts(m)), (std::vector<int>{2}));

    Legend stats, tracking;
    FillStatisticsBox(stats, m, 2, 4);
    ASSERT_EQ(stats.Rows(), 2);
    FillTrackingBox(tracking, m, 3, 30);
    ASSERT_EQ(tracking.Rows(), 1);
    EXPECT_EQ(tracking.At(0, 0).text, L"C");
}

TEST(LabelBoxes, StatisticsSelectionAndTrackingCells) {
    Model m;
    Legend stats;
    FillStatisticsBox(stats, m, 4, 2);  // dragged leftwards: the same range
    ASSERT_EQ(stats.Columns(), 9);
    EXPECT_EQ(RowTexts(stats, 0),
              (std::vector<std::wstring>{L"Chart", L"Start", L"End", L"Delta", L"dv/dt", L"Min",
                                         L"Max", L"Avg", L"Surface"}));
    EXPECT_EQ(RowTexts(stats, 1), (std::vector<std::wstring>{L"A", L"20", L"40", L"20", L"10",
                                                             L"20", L"40", L"30", L"60"}));
    EXPECT_EQ(stats.At(0, 1).align, kAlignCenter);
    EXPECT_EQ(stats.At(1, 1).color, 0xA0000000u);

    Legend before;
    FillStatisticsBox(before, m, -5, -1);  // wholly before the points
    EXPECT_EQ(RowTexts(before, 1)[1], L"-");
    EXPECT_EQ(RowTexts(before, 1)[8], L"-");

    Legend selection;
    FillSelectionBox(selection, m.XValueFormatter(), 4, 2);
    EXPECT_EQ(RowTexts(selection, 1), (std::vector<std::wstring>{L"4", L"2", L"-2"}));

    Legend tracking;
    FillTrackingBox(tracking, m, 5, 12.5);
    EXPECT_EQ(tracking.title, L"Mouse at [5, 12.5]");
    EXPECT_EQ(tracking.At(0, 1).text, L"-");  // exactly on the last point
    FillTrackingBox(tracking, m, 2, 0);
    EXPECT_EQ(tracking.At(0, 1).text, L"20");
}

TEST(LabelBoxes, LegendRowsCarryTheChartAndCrossesForStyleFive) {
    Model m;
    m.SetChartSelected(0, true);
    Legend legend;
    FillLegend(legend, m, 2);
    ASSERT_EQ(legend.Rows(), 2);  // hidden and empty charts have no row
    EXPECT_EQ(legend.At(0, 0).kind, kLabelCheckBox);
    EXPECT_TRUE(legend.At(0, 0).checked);
    EXPECT_EQ(legend.At(0, 3).text, L"degC");
    EXPECT_FALSE(legend.At(0, 2).underline);
    EXPECT_EQ(legend.At(1, 1).kind, kLabelLineSample);
    EXPECT_EQ(legend.At(1, 1).dashStyle, 5);
    EXPECT_EQ(legend.At(1, 2).chartId, 2);
    EXPECT_EQ(legend.At(1, 2).column, 2);
    EXPECT_TRUE(legend.At(1, 2).underline);  // the hovered chart
    EXPECT_FALSE(legend.At(1, 0).underline);
    EXPECT_TRUE(legend.firstColumnLine);
    EXPECT_FALSE(legend.rowLines);

    // A faint chart colour is raised to half opaque in its label.
    m.ToggleChartVisibility(1);
    FillLegend(legend, m, -1);
    EXPECT_EQ(legend.At(1, 2).color, 0x800000FFu);

    // The sample of style 5 shows three crosses, not a line.
    legend.Render(1, 96);
    const QImage& img = legend.Image();
    const int cellTop = legend.CellRect().top();
    const int x = 4 + legend.ColumnWidths()[0];
    const int y = cellTop + 2 * legend.RowHeight() + legend.RowHeight() / 2;
    // Ink differs from the box's fill a few rows above, clear of the crosses.
    auto inked = [&](int dx) { return img.pixel(x + dx, y) != img.pixel(x + dx, y - 6); };
    EXPECT_TRUE(inked(6));
    EXPECT_TRUE(inked(14));
    EXPECT_TRUE(inked(22));
    EXPECT_FALSE(inked(10));  // the gap between two crosses, where a line would be
}

TEST(LabelBoxes, LineSamplesAreCrispAndNoWiderThanTheirRow) {
    struct Case {
        float pen;
        qreal dpr;
        int rows;  // device rows of the sample's full colour
    };
    const Case cases[] = {{1, 1, 1}, {1, 2, 2}, {2, 1, 2}, {1'000'000, 1, -1}};
    for (const Case& c : cases) {
        ChartSet m;
        m.AddChart(std::vector<ChartPoint>{{1, 10}, {3, 30}}, L"A", L"", 0, c.pen, 0, 0xFFFF0000);
        Legend legend;
        FillLegend(legend, m, -1);
        legend.Render(c.dpr, 96);
        const QImage& img = legend.Image();
        const int x = static_cast<int>((4 + legend.ColumnWidths()[0] + 10) * c.dpr);
        const int top = static_cast<int>(legend.CellRect().top() * c.dpr);
        const int bottom = static_cast<int>((legend.CellRect().top() + legend.RowHeight()) * c.dpr);
        int red = 0, tinted = 0;
        for (int y = top; y < bottom; ++y) {
            const QRgb px = img.pixel(x, y);
            red += px == 0xFFFF0000u;
            tinted += qRed(px) > qGreen(px) + 20;
        }
        const std::string name =
            "pen " + std::to_string(c.pen) + ", ratio " + std::to_string(c.dpr);
        if (c.rows > 0) {
            EXPECT_EQ(red, c.rows) << name;
            EXPECT_EQ(tinted, c.rows) << name << ": pale fringes";
        } else {
            EXPECT_GT(red, 0) << name;
            EXPECT_LT(tinted, bottom - top) << name << ": fills the whole row";
        }
    }
}

struct Frame {
    QImage image;
    explicit Frame(QSize size, qreal dpr = 1)
        : image(size * dpr, QImage::Format_ARGB32_Premultiplied) {
        image.setDevicePixelRatio(dpr);
        image.fill(kWhite);
    }
};

void Paint(LabelBoxes& boxes, const LabelBoxContext& ctx, qreal dpr = 1) {
    Frame f(ctx.client, dpr);
    QPainter p(&f.image);
    boxes.Paint(p, ctx);
}

LabelBoxContext Context(const ChartSet& m, QSize client) {
    LabelBoxContext ctx;
    ctx.model = &m;
    ctx.client = client;
    ctx.xLabelRowHeight = 20;
    ctx.selectionExists = true;
    ctx.selectionStart = 2;
    ctx.selectionEnd = 4;
    ctx.tracking = true;
    ctx.trackX = 2;
    ctx.trackY = 20;
    return ctx;
}

TEST(LabelBoxes, StackAlongTheRightEdgeAndLegendOnlyWhereItFits) {
    Model m;
    m.SetLegendVisible(true);
    LabelBoxes boxes;
    Paint(boxes, Context(m, {800, 600}));
    ASSERT_TRUE(boxes.Tracking().shown);
    EXPECT_EQ(boxes.Tracking().Position().y(), 25);
    EXPECT_EQ(boxes.Tracking().Position().x() + boxes.Tracking().ImageSize().width(), 800 - 15);
    EXPECT_EQ(boxes.Selection().Position().y(), 25 + boxes.Tracking().ImageSize().height() + 25);
    EXPECT_TRUE(boxes.Statistics().shown);
    const int below =
        boxes.Statistics().Position().y() + boxes.Statistics().ImageSize().height() + 25;
    const int legendHeight = boxes.LegendBox().ImageSize().height();
    // The legend would reach above the boxes: not drawn ...
    const int tight = below + legendHeight + 25 + 20 - 1;
    Paint(boxes, Context(m, {800, tight}));
    EXPECT_FALSE(boxes.LegendBox().shown);
    // ... until the window is one pixel taller.
    Paint(boxes, Context(m, {800, tight + 1}));
    ASSERT_TRUE(boxes.LegendBox().shown);
    EXPECT_EQ(boxes.LegendBox().Position().y(), below);

    // Without tracking and selection the legend has the column to itself.
    LabelBoxContext quiet = Context(m, {800, 300});
    quiet.tracking = quiet.selectionExists = false;
    Paint(boxes, quiet);
    EXPECT_FALSE(boxes.Tracking().shown);
    EXPECT_FALSE(boxes.Statistics().shown);
    EXPECT_TRUE(boxes.LegendBox().shown);
}

TEST(LabelBoxes, ManyChartsKeepEveryBoxInsideThePlot) {
    ChartSet m;
    const std::vector<ChartPoint> p = {{1, 10}, {3, 30}, {5, 50}};
    for (int i = 0; i < 30; ++i)
        m.AddChart(p, L"Chart " + std::to_wstring(i), L"", 0, 1, 0, 0xFF0000FF);
    LabelBoxes boxes;
    for (const int height : {400, 300}) {
        const LabelBoxContext ctx = Context(m, {800, height});
        Paint(boxes, ctx);
        const int plotBottom = height - 20;
        for (const Legend* box : {&boxes.Tracking(), &boxes.Selection(), &boxes.Statistics()}) {
            ASSERT_TRUE(box->shown) << height;
            EXPECT_LE(box->Position().y() + box->ImageSize().height(), plotBottom) << height;
        }
        // The last row of each says how many charts it leaves out.
        const Legend& stats = boxes.Statistics();
        const int statsCharts = stats.Rows() - 2;  // header and the last row
        EXPECT_EQ(stats.At(stats.Rows() - 1, 0).text,
                  L"+" + std::to_wstring(30 - statsCharts) + L" more");
        EXPECT_EQ(stats.At(1, 0).text, L"Chart 0");
        const Legend& tracking = boxes.Tracking();
        EXPECT_EQ(tracking.At(tracking.Rows() - 1, 0).text,
                  L"+" + std::to_wstring(31 - tracking.Rows()) + L" more");
    }
    // Selected charts are what the statistics list: selected ones first.
    m.SetChartSelected(29, true);
    boxes.MarkDirty(kRedrawStatisticsBox | kRedrawTrackingBox);
    Paint(boxes, Context(m, {800, 300}));
    ASSERT_TRUE(boxes.Statistics().shown);
    EXPECT_EQ(boxes.Statistics().At(1, 0).text, L"Chart 29");
    // A tall window lists them all.
    m.SetChartSelected(29, false);
    boxes.MarkDirty(kRedrawStatisticsBox | kRedrawTrackingBox);
    Paint(boxes, Context(m, {800, 2000}));
    EXPECT_EQ(boxes.Statistics().Rows(), 31);
    EXPECT_EQ(boxes.Tracking().Rows(), 30);
}

TEST(LabelBoxes, ChartNamesAreReadableWithTheirColourAsASwatch) {
    struct Case {
        uint32_t chart;
        bool keeps;  // dark enough to write the name in
    };
    const Case cases[] = {
        {0xFF0000FF, true},  {0xFF000000, true},  {0xFFFFFF00, false},
        {0xFFFFFFFF, false}, {0xFF80FF80, false}, {0x20FFC0C0, false},
    };
    for (const Case& c : cases) {
        ChartSet m;
        m.AddChart(std::vector<ChartPoint>{{1, 10}, {3, 30}}, L"A", L"degC", 0, 1, 0, c.chart);
        Legend stats, legend;
        FillStatisticsBox(stats, m, 0, 5);
        FillLegend(legend, m, -1);
        const uint32_t label = std::max(c.chart & 0xFF000000u, 0x80000000u) | (c.chart & 0xFFFFFFu);
        EXPECT_EQ(stats.At(1, 0).swatch, label) << std::hex << c.chart;
        EXPECT_EQ(legend.At(0, 1).color, label) << "the legend's sample";
        const uint32_t text = stats.At(1, 0).color;
        EXPECT_EQ(legend.At(0, 2).color, text);
        EXPECT_EQ(legend.At(0, 2).swatch, 0u);  // the sample beside it shows the colour
        if (c.keeps) {
            EXPECT_EQ(text, label) << std::hex << c.chart;
        } else {
            // Opaque and dark: no channel above 60 % of full.
            EXPECT_EQ(text >> 24, 0xFFu) << std::hex << c.chart;
            EXPECT_LE(std::max({qRed(text), qGreen(text), qBlue(text)}), 153)
                << std::hex << c.chart;
        }
    }
}

TEST(LabelBoxes, HitTestingPressesDoubleClicksAndHover) {
    Model m;
    m.SetLegendVisible(true);
    LabelBoxes boxes;
    LabelBoxContext ctx = Context(m, {800, 600});
    ctx.tracking = false;
    Paint(boxes, ctx);
    const Legend& legend = boxes.LegendBox();
    ASSERT_TRUE(legend.shown);
    const QPoint origin = legend.Position();
    const int rowH = legend.RowHeight();
    auto cellCentre = [&](int row, int column) {
        int x = 4;
        for (int c = 0; c < column; ++c) x += legend.ColumnWidths()[static_cast<size_t>(c)];
        return origin + QPoint(x + legend.ColumnWidths()[static_cast<size_t>(column)] / 2,
                               legend.CellRect().top() + row * rowH + rowH / 2);
    };

    const LabelBoxHit cell = boxes.HitTest(cellCentre(1, 2));
    EXPECT_EQ(cell.box, LabelBox::kLegend);
    EXPECT_EQ(cell.row, 1);
    EXPECT_EQ(cell.column, 2);
    EXPECT_EQ(cell.chartId, 2);
    const LabelBoxHit title = boxes.HitTest(origin + QPoint(5, 5));
    EXPECT_EQ(title.box, LabelBox::kLegend);
    EXPECT_EQ(title.row, -1);
    EXPECT_EQ(boxes.HitTest(origin - QPoint(5, 5)).box, LabelBox::kNone);

    // A press on a legend row toggles its chart; on the title it falls through.
    const LabelPress press = boxes.OnLeftPress(cellCentre(0, 0), m);
    EXPECT_TRUE(press.consumed);
    EXPECT_EQ(press.chartId, 0);
    EXPECT_TRUE(press.select);
    EXPECT_FALSE(boxes.OnLeftPress(origin + QPoint(5, 5), m).consumed);
    // The statistics box swallows presses anywhere.
    const QPoint stats = boxes.Statistics().Position() + QPoint(5, 5);
    const LabelPress onStats = boxes.OnLeftPress(stats, m);
    EXPECT_TRUE(onStats.consumed);
    EXPECT_EQ(onStats.chartId, -1);
    EXPECT_TRUE(boxes.BlocksDoubleClick(stats));
    EXPECT_TRUE(boxes.BlocksDoubleClick(origin + QPoint(5, 5)));
    EXPECT_FALSE(boxes.BlocksDoubleClick(QPoint(5, 5)));

    // Hovering a row: repaint once, hand cursor; leaving: repaint, arrow.
    LabelHover h = boxes.OnHover(cellCentre(1, 3), m);
    EXPECT_TRUE(h.repaint);
    EXPECT_TRUE(h.handCursor);
    EXPECT_TRUE(boxes.LegendBox().dirty);
    EXPECT_EQ(boxes.HoveredLegendChart(), 2);
    EXPECT_FALSE(boxes.OnHover(cellCentre(1, 1), m).repaint);
    h = boxes.OnHover(QPoint(5, 5), m);
    EXPECT_TRUE(h.repaint);
    EXPECT_FALSE(h.handCursor);
}

TEST(LabelBoxes, BoxesAreRebuiltOnlyWhenMarkedOrAtAnotherPixelRatio) {
    Model m;
    LabelBoxes boxes;
    const LabelBoxContext ctx = Context(m, {800, 600});
    Paint(boxes, ctx);
    EXPECT_FALSE(boxes.Statistics().dirty);
    const std::wstring before = boxes.Statistics().At(1, 1).text;

    // New data without a mark: the kept image and cells stay.
    m.AppendChartPoints(0, std::vector<ChartPoint>{{6, 60}});
    LabelBoxContext wider = ctx;
    wider.selectionEnd = 6;
    Paint(boxes, wider);
    EXPECT_EQ(boxes.Statistics().At(1, 2).text, L"40");
    boxes.MarkDirty(kRedrawStatisticsBox);
    EXPECT_TRUE(boxes.Statistics().dirty);
    EXPECT_FALSE(boxes.Selection().dirty);
    Paint(boxes, wider);
    EXPECT_EQ(boxes.Statistics().At(1, 2).text, L"60");
    EXPECT_EQ(boxes.Statistics().At(1, 1).text, before);

    const QSize logical = boxes.Tracking().ImageSize();
    Paint(boxes, wider, 2);
    EXPECT_EQ(boxes.Tracking().Image().devicePixelRatio(), 2);
    EXPECT_EQ(boxes.Tracking().Image().size(), logical * 2);
}

}  // namespace
}  // namespace chart::ui
