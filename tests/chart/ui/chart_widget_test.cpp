#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "chart/ui/chart_canvas.h"
#include "chart/ui/chart_overlay.h"
#include "chart/ui/chart_widget.h"
#include "chart/ui/curve_painter.h"
#include "chart/ui/label_boxes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

using chart::ChartPoint;
using chart::ui::ViewMapping;

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;

// A menu as the user would see it: texts of the actions, and which menu.
struct OpenedMenu {
    QStringList texts;
    QPoint at;
};

class ChartContainerTest : public testing::Test {
protected:
    void SetUp() override {
        chart_.SetMessageBox(&messages_);
        chart_.SetMenuRunner([this](QMenu& menu, const QPoint& at) {
            OpenedMenu m;
            m.at = at;
            for (QAction* a : menu.actions()) m.texts << a->text();
            menus_.push_back(m);
            return nextCommand_;
        });
        chart_.resize(800, 600);
        chart_.show();
    }

    int AddLine(double y, uint32_t color = kRed, const std::wstring& name = L"") {
        const std::vector<ChartPoint> pts = {{0, y}, {50, y}, {100, y}};
        return chart_.Set().AddChart(pts, name, L"", 0, 2.0f, 0.0f, color);
    }

    QPoint Pixel(double x, double y) const {
        const ViewMapping& m = chart_.Mapping();
        return QPointF(m.PixelX(x), m.PixelY(y)).toPoint();
    }

    static QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

    chart::ui::ChartWidget chart_;
    uitest::RecordingMessageBox messages_;
    std::vector<OpenedMenu> menus_;
    int nextCommand_ = 0;
};

// Sends one wheel movement at a client position.
void Wheel(QWidget& w, QPoint pos, int delta) {
    QWheelEvent e(QPointF(pos), QPointF(w.mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&w, &e);
}

bool Near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace

// ---- fitting ---------------------------------------------------------------

TEST_F(ChartContainerTest, ZoomToFitPutsTheExtentsWithMarginsOnThePlotEdges) {
    const std::vector<ChartPoint> a = {{0, 20}, {40, 120}};
    const std::vector<ChartPoint> b = {{30, 50}, {100, 220}};
    chart_.Set().AddChart(a, L"A", L"", 0, 2, 0, kRed);
    chart_.Set().AddChart(b, L"B", L"", 0, 2, 0, kBlue);
    chart_.ZoomToFit();
    const auto layout = chart_.CurrentLayout();
    const ViewMapping& m = chart_.Mapping();
    EXPECT_NEAR(m.DataX(layout.plot.x), -1.5, 1e-9);
    EXPECT_NEAR(m.DataX(800), 101.5, 1e-9);
    EXPECT_NEAR(m.DataY(0), 223, 1e-9);
    EXPECT_NEAR(m.DataY(layout.plot.Bottom()), 17, 1e-9);
    EXPECT_EQ(chart_.HomeRange(), chart::ui::DataRange{});  // a fit is not a home range
}

TEST_F(ChartContainerTest, ZoomToRangeTakesItsCornersInAnyOrder) {
    chart_.ZoomToRange(260, 0, 300, 0);
    const chart::ui::DataRange home = chart_.HomeRange();
    const ViewMapping m = chart_.Mapping();
    chart_.ZoomToRange(0, 260, 0, 300);
    EXPECT_EQ(home, chart_.HomeRange());
    EXPECT_EQ(home, (chart::ui::DataRange{0, 260, 0, 300}));
    EXPECT_EQ(m.scaleX, chart_.Mapping().scaleX);
    EXPECT_EQ(m.originY, chart_.Mapping().originY);
}

TEST_F(ChartContainerTest, DegenerateFitsKeepTheView) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const ViewMapping before = chart_.Mapping();
    const auto same = [&] {
        return chart_.Mapping().scaleX == before.scaleX &&
               chart_.Mapping().originX == before.originX &&
               chart_.Mapping().scaleY == before.scaleY &&
               chart_.Mapping().originY == before.originY;
    };
    chart_.ZoomToRange(5, 5, 0, 100);  // a zoom box drawn without moving
    EXPECT_TRUE(same());
    chart_.FitToRange(3, 3, 0, 10);
    EXPECT_TRUE(same());
    chart_.resize(0, 0);
    chart_.ZoomToRange(0, 10, 0, 10);
    EXPECT_TRUE(same());
    chart_.resize(800, 600);

    // One point: both axes get a span around it and the scales stay finite.
    const std::vector<ChartPoint> one = {{5, 20}};
    chart_.Set().AddChart(one, L"", L"", 0, 2, 0, kRed);
    chart_.ZoomToFit();
    EXPECT_TRUE(chart::ui::IsUsableMapping(chart_.Mapping()));
    const double left = chart_.Mapping().DataX(chart_.CurrentLayout().plot.x);
    EXPECT_LT(left, 5);
    EXPECT_GT(left, 4);
    EXPECT_GT(chart_.Mapping().DataX(800), 5);
}

TEST_F(ChartContainerTest, ResetContainerRestoresHomeAndVisibility) {
    const int empty = chart_.Set().AddChart({}, L"Empty", L"", 0, 2, 0, kRed);
    const int hidden = AddLine(10);
    const int shown = AddLine(20);
    chart_.Set().ToggleChartVisibility(hidden);
    chart_.ZoomToRange(0, 50, 0, 50);
    chart_.ZoomToFit();
    chart_.ResetContainer();
    EXPECT_NEAR(chart_.Mapping().DataX(800), 50, 1e-9);
    EXPECT_FALSE(chart_.Set().FindChart(empty)->visible);
    EXPECT_TRUE(chart_.Set().FindChart(hidden)->visible);
    EXPECT_TRUE(chart_.Set().FindChart(shown)->visible);

    // Stays hidden when points arrive later.
    const std::vector<ChartPoint> late = {{1, 1}};
    chart_.Set().AppendChartPoints(empty, late);
    EXPECT_FALSE(chart_.Set().FindChart(empty)->visible);

    // A selected chart whose points were cleared is hidden and deselected.
    chart_.Set().SetChartSelected(shown, true);
    chart_.Set().ClearChartPoints(shown);
    chart_.ResetContainer();
    EXPECT_FALSE(chart_.Set().FindChart(shown)->visible);
    EXPECT_FALSE(chart_.Set().FindChart(shown)->selected);
    EXPECT_TRUE(chart_.Set().SelectedIds().empty());
}

TEST_F(ChartContainerTest, EnsurePointVisibleDoesNotOvershootBetweenPaints) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const int id = AddLine(50);
    // Live data asks several times before the next paint.
    for (int i = 0; i < 3; ++i) chart_.EnsurePointVisible(id, 150, 50);
    const auto layout = chart_.CurrentLayout();
    // At least 10 px inside, by whole device pixels: less than one more.
    const double inside = layout.plot.Right() + 1 - chart_.Mapping().PixelX(150);
    EXPECT_GE(inside, 10 - 1e-6);
    EXPECT_LT(inside, 10 + 1 / chart_.devicePixelRatioF());
    const double x = chart_.Mapping().originX;
    chart_.EnsurePointVisible(99, 500, 50);  // unknown chart: nothing
    EXPECT_EQ(chart_.Mapping().originX, x);
}

// ---- live records --------------------------------------------------------------

namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& w) { w.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

}  // namespace

TEST_F(ChartContainerTest, AppendsOfALiveRecordPaintAtMostOncePerFrame) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart_));
    chart_.ZoomToRange(0, 100, 0, 100);
    const int id = AddLine(50);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !chart_.FramePending(); }));
    QCoreApplication::processEvents();
    PaintCounter counter(chart_);
    double x = 100;
    auto appendPacket = [&] {
        // A packet: one point, and the view following it.
        const ChartPoint p{x += 0.5, 50.0 + std::fmod(x, 7.0)};
        ASSERT_TRUE(chart_.Set().AppendChartPoints(id, std::span(&p, 1)));
        chart_.EnsurePointVisible(id, p.x, p.y);
    };

    // Many appends in one turn of the event loop: one paint.
    for (int i = 0; i < 200; ++i) ASSERT_NO_FATAL_FAILURE(appendPacket());
    EXPECT_TRUE(chart_.FramePending());
    ASSERT_TRUE(uitest::PumpUntil([&] { return counter.paints > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(1, counter.paints);
    EXPECT_FALSE(chart_.FramePending());

    // One packet per turn, as a live record gets them: no more paints than
    // frames went by (and the one the last packet is owed).
    counter.paints = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 40; ++i) {
        ASSERT_NO_FATAL_FAILURE(appendPacket());
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(uitest::PumpUntil([&] { return !chart_.FramePending(); }));
    QCoreApplication::processEvents();
    const double frameMs = 1000.0 / std::max(1.0, chart_.screen()->refreshRate());
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, 2 + int(double(clock.elapsed()) / std::floor(frameMs)))
        << "over " << clock.elapsed() << " ms";

    // Hidden: nothing is painted, nothing waits; shown again, it paints.
    chart_.hide();
    counter.paints = 0;
    for (int i = 0; i < 20; ++i) ASSERT_NO_FATAL_FAILURE(appendPacket());
    EXPECT_FALSE(chart_.FramePending());
    QCoreApplication::processEvents();
    EXPECT_EQ(0, counter.paints);
    chart_.show();
    EXPECT_TRUE(uitest::PumpUntil([&] { return counter.paints > 0; }));
}

TEST_F(ChartContainerTest, FollowingALiveRecordKeepsItsReductionAndItsNewestPoint) {
    chart_.ZoomToRange(0, 100, 0, 100);
    auto y = [](double x) { return 50 + 30 * std::sin(x * 7.3) + 10 * std::sin(x * 0.37); };
    // Far more points than columns, a fraction of a pixel apart.
    const double dx = 1.0 / 256;
    std::vector<ChartPoint> pts;
    pts.reserve(100 * 256);
    for (int i = 0; i < 100 * 256; ++i) pts.push_back({i * dx, y(i * dx)});
    const int id = chart_.Set().AddChart(pts, L"", L"", 0, 1.0f, 0.0f, kRed);
    const size_t before = chart::ui::WholeReductionCount();
    chart_.RenderFrame(1.0);
    const size_t reductions = chart::ui::WholeReductionCount();
    ASSERT_GT(reductions, before);  // the curve is drawn reduced

    double x = pts.back().x;
    int moves = 0;
    for (int packet = 0; packet < 600; ++packet) {
        const ChartPoint p{x += dx, y(x)};
        ASSERT_TRUE(chart_.Set().AppendChartPoints(id, std::span(&p, 1)));
        const double origin = chart_.Mapping().originX;
        chart_.EnsurePointVisible(id, p.x, p.y);
        moves += chart_.Mapping().originX != origin;
        chart_.RenderFrame(1.0);
        const auto layout = chart_.CurrentLayout();
        const double px = chart_.Mapping().PixelX(p.x);
        ASSERT_GT(px, layout.plot.x) << packet;
        ASSERT_LE(px, layout.plot.Right() + 1 - 10 + 1e-6) << packet;
    }
    EXPECT_GT(moves, 5);  // it did follow, a pixel at a time
    EXPECT_LT(moves, 600);
    EXPECT_EQ(chart::ui::WholeReductionCount(), reductions);

    // The kept reduction draws what a fresh one does.
    chart::ui::ChartWidget fresh(nullptr, nullptr);
    fresh.resize(chart_.size());
    const std::vector<ChartPoint> all = chart_.Set().FindChart(id)->Points().ToVector();
    fresh.Set().AddChart(all, L"", L"", 0, 1.0f, 0.0f, kRed);
    fresh.SetMapping(chart_.Mapping());
    EXPECT_EQ(fresh.RenderFrame(1.0), chart_.RenderFrame(1.0));

    // A move of part of a pixel is a new view: reduced anew.
    const size_t afterFresh = chart::ui::WholeReductionCount();
    ViewMapping half = chart_.Mapping();
    half.originX += 0.5;
    chart_.SetMapping(half);
    chart_.RenderFrame(1.0);
    EXPECT_EQ(chart::ui::WholeReductionCount(), afterFresh + 1);
}

namespace {

// What a chart control that never drew before draws for `shown`'s charts and
// view: the picture a kept and scrolled one must equal.
QImage FreshRender(chart::ui::ChartWidget& shown, qreal ratio) {
    chart::ui::ChartWidget fresh(nullptr, nullptr);
    fresh.resize(shown.size());
    for (const auto& [id, s] : shown.Set().Charts()) {
        const std::vector<ChartPoint> pts = s->Points().ToVector();
        const int copy = fresh.Set().AddChart(pts, s->name, L"", s->dashStyle, s->penWidth,
                                              s->tension, s->color);
        fresh.Set().SetChartSelected(copy, s->selected);
        if (!s->visible)
            fresh.Set().ToggleChartVisibility(copy);
    }
    fresh.Set().SetLegendVisible(shown.Set().IsLegendVisible());
    fresh.SetMapping(shown.Mapping());
    return fresh.RenderFrame(ratio).copy();
}

testing::AssertionResult SamePicture(const QImage& kept, const QImage& fresh) {
    if (kept.size() != fresh.size())
        return testing::AssertionFailure() << "sizes differ";
    int differ = 0, most = 0;
    QPoint first, last;
    for (int y = 0; y < kept.height(); ++y) {
        for (int x = 0; x < kept.width(); ++x) {
            const QRgb a = kept.pixel(x, y), b = fresh.pixel(x, y);
            if (a == b)
                continue;
            if (differ++ == 0)
                first = QPoint(x, y);
            last = QPoint(x, y);
            most = std::max({most, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                             std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
        }
    }
    if (differ == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << differ << " pixels differ, the first at " << first.x() << "," << first.y()
           << ", the last at " << last.x() << "," << last.y() << ", by up to " << most;
}

}  // namespace

// A live view scrolls its picture by whole pixels and draws only the columns
// that came into sight or whose curve went on; every frame equals a picture
// drawn afresh.
TEST_F(ChartContainerTest, FollowingALiveRecordScrollsItsPictureAndDrawsOnlyNewColumns) {
    struct Case {
        const char* what;
        double dx;  // data x between points; the view shows about 7.5 px per unit
        float pen;
        uint32_t color;
        bool selected;
        bool legend;
        qreal ratio;
    };
    const Case cases[] = {
        {"thin", 1.0 / 64, 1.0f, kRed, false, false, 1.0},
        {"wide and selected, with the legend", 1.0 / 32, 3.0f, kBlue, true, true, 1.0},
        {"translucent", 1.0 / 48, 4.0f, 0x80008000, false, false, 1.0},
        {"at ratio 2", 1.0 / 64, 2.0f, kRed, true, false, 2.0},
    };
    auto y = [](double x) { return 50 + 30 * std::sin(x * 7.3) + 10 * std::sin(x * 0.37); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        chart::ui::ChartWidget chart;
        chart.resize(800, 600);
        chart.ZoomToRange(0, 100, 0, 100);
        std::vector<ChartPoint> pts;
        for (double x = 0; x < 98.5; x += c.dx) pts.push_back({x, y(x)});
        const int id = chart.Set().AddChart(pts, L"Temp", L"", 0, c.pen, 0.0f, c.color);
        // A chart that ended before the view, and one above it.
        chart.Set().AddChart(std::vector<ChartPoint>{{-50, 10}, {-20, 12}}, L"Old", L"", 1, 1.0f,
                             0.0f, kBlue);
        chart.Set().AddChart(std::vector<ChartPoint>{{0, 500}, {200, 600}}, L"High", L"", 0, 1.0f,
                             0.5f, kBlue);
        chart.Set().SetChartSelected(id, c.selected);
        chart.Set().SetLegendVisible(c.legend);
        ASSERT_TRUE(SamePicture(chart.RenderFrame(c.ratio).copy(), FreshRender(chart, c.ratio)));
        const int whole = chart.BackgroundDrawCount();
        const int plotColumns = static_cast<int>((800 - chart.CurrentLayout().plot.x) * c.ratio);

        double x = pts.back().x;
        int moves = 0;
        for (int packet = 0; packet < 60; ++packet) {
            // A packet brings a few points; the view follows the newest.
            std::vector<ChartPoint> packetPoints;
            packetPoints.reserve(8);
            for (int i = 0; i < 8; ++i) packetPoints.push_back({x += c.dx, y(x)});
            ASSERT_TRUE(chart.Set().AppendChartPoints(id, packetPoints));
            const double origin = chart.Mapping().originX;
            chart.EnsurePointVisible(id, x, packetPoints.back().y);
            moves += chart.Mapping().originX != origin;
            const int partial = chart.PartialDrawCount();
            const QImage frame = chart.RenderFrame(c.ratio).copy();
            ASSERT_TRUE(SamePicture(frame, FreshRender(chart, c.ratio))) << "packet " << packet;
            ASSERT_EQ(chart.PartialDrawCount(), partial + 1) << "packet " << packet;
            // What moved in, the curve's newest stretch and the axis column;
            // the rest of the plot was kept.
            ASSERT_LT(chart.LastPartialColumns(), plotColumns / 16) << "packet " << packet;
        }
        EXPECT_GT(moves, 10);  // it did follow
        EXPECT_EQ(chart.BackgroundDrawCount(), whole);
    }
}

// Before a live record reaches the right edge its view stands still: the
// columns of the new points are drawn, and the lines through few points in
// sight (the profile, a spline, markers) are drawn again in them, as they
// were.
TEST_F(ChartContainerTest, AppendsInAStillViewDrawOnlyTheirColumns) {
    chart::ui::ChartWidget chart;
    chart.resize(800, 600);
    chart.ZoomToRange(0, 100, 0, 100);
    const std::vector<ChartPoint> profile = {{0, 25}, {30, 80}, {60, 90}, {80, 40}, {100, 30}};
    chart.Set().AddChart(profile, L"Profile", L"", 0, 2.0f, 0.0f, 0xFFFFA500);
    chart.Set().AddChart(profile, L"Spline", L"", 0, 1.0f, 0.5f, 0x800000FF);
    const int markers = chart.Set().AddChart(std::vector<ChartPoint>{{5, 5}, {50, 8}, {95, 6}},
                                             L"Markers", L"", 5, 1.0f, 0.0f, kBlue);
    chart.Set().SetChartSelected(markers, true);
    auto y = [](double x) { return 25 + 20 * std::sin(x * 3.1) + x / 2; };
    std::vector<ChartPoint> pts;
    double x = 0;
    for (; x < 20; x += 1.0 / 64) pts.push_back({x, y(x)});
    const int live = chart.Set().AddChart(pts, L"Temp", L"", 0, 2.0f, 0.0f, kRed);
    chart.Set().SetLegendVisible(true);
    chart.RenderFrame(1.0);
    const int whole = chart.BackgroundDrawCount();
    for (int packet = 0; packet < 40; ++packet) {
        std::vector<ChartPoint> packetPoints;
        packetPoints.reserve(10);
        for (int i = 0; i < 10; ++i) packetPoints.push_back({x += 1.0 / 64, y(x)});
        ASSERT_TRUE(chart.Set().AppendChartPoints(live, packetPoints));
        ASSERT_TRUE(SamePicture(chart.RenderFrame(1.0).copy(), FreshRender(chart, 1.0)))
            << "packet " << packet;
        ASSERT_LT(chart.LastPartialColumns(), 20) << "packet " << packet;
    }
    EXPECT_EQ(chart.BackgroundDrawCount(), whole);
    EXPECT_EQ(chart.PartialDrawCount(), 40);
}

namespace {

// The part of a widget its last paint covered.
class PaintRegions : public QObject {
public:
    explicit PaintRegions(QWidget& w) { w.installEventFilter(this); }
    int paints = 0;
    QRect last;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
            last = static_cast<QPaintEvent*>(e)->region().boundingRect();
        }
        return false;
    }
};

}  // namespace

// What a frame of appended points puts on the screen is the columns they
// changed; with a selection, whose statistics follow the points, all of it.
TEST_F(ChartContainerTest, AFrameOfAppendedPointsRepaintsOnlyTheirColumns) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart_));
    chart_.ZoomToRange(0, 100, 0, 100);
    std::vector<ChartPoint> pts;
    double x = 0;
    for (; x < 50; x += 1.0 / 64) pts.push_back({x, 50 + 20 * std::sin(x)});
    const int id = chart_.Set().AddChart(pts, L"Temp", L"", 0, 2.0f, 0.0f, kRed);
    chart_.Set().SetLegendVisible(true);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !chart_.FramePending(); }));
    QCoreApplication::processEvents();
    PaintRegions regions(chart_);
    auto packet = [&] {
        std::vector<ChartPoint> more;
        more.reserve(8);
        for (int i = 0; i < 8; ++i) more.push_back({x += 1.0 / 64, 50 + 20 * std::sin(x)});
        ASSERT_TRUE(chart_.Set().AppendChartPoints(id, more));
        chart_.EnsurePointVisible(id, x, more.back().y);
        regions.paints = 0;
        ASSERT_TRUE(uitest::PumpUntil([&] { return regions.paints > 0; }));
    };
    ASSERT_NO_FATAL_FAILURE(packet());
    EXPECT_GT(regions.last.width(), 0);
    EXPECT_LT(regions.last.width(), 30);
    EXPECT_EQ(chart_.RenderFrame(1.0), FreshRender(chart_, 1.0));

    chart_.SetSelection(10, 20);
    ASSERT_NO_FATAL_FAILURE(packet());
    EXPECT_EQ(regions.last, chart_.rect());
}

// Anything but a view moved sideways by whole pixels, or points appended,
// while every curve in sight is dense, draws the picture whole.
TEST_F(ChartContainerTest, ChangesOtherThanFollowingDrawThePictureWhole) {
    struct Case {
        const char* what;
        std::function<void(chart::ui::ChartWidget&, int id)> change;
    };
    // Adds a line through two points and draws it before `then`.
    auto fewPoints = [](int dashStyle, float tension,
                        const std::function<void(chart::ui::ChartWidget&, int)>& then) {
        return [=](chart::ui::ChartWidget& w, int) {
            const int id = w.Set().AddChart(std::vector<ChartPoint>{{0, 5}, {60, 20}}, L"", L"",
                                            dashStyle, 1.0f, tension, kBlue);
            w.RenderFrame(1.0);
            then(w, id);
        };
    };
    const auto appendOne = [](chart::ui::ChartWidget& w, int id) {
        const ChartPoint p{70, 30};
        w.Set().AppendChartPoints(id, std::span(&p, 1));
    };
    const auto moveLeft = [](chart::ui::ChartWidget& w, int) {
        ViewMapping m = w.Mapping();
        m.originX -= 3;
        w.SetMapping(m);
    };
    const Case cases[] = {
        {"zoom", [](chart::ui::ChartWidget& w, int) { Wheel(w, QPoint(400, 300), 120); }},
        {"a move by part of a pixel",
         [](chart::ui::ChartWidget& w, int) {
             ViewMapping m = w.Mapping();
             m.originX -= 0.5;
             w.SetMapping(m);
         }},
        {"a move up",
         [](chart::ui::ChartWidget& w, int) {
             ViewMapping m = w.Mapping();
             m.originY -= 1;
             w.SetMapping(m);
         }},
        {"a new chart",
         [](chart::ui::ChartWidget& w, int) {
             w.Set().AddChart(std::vector<ChartPoint>{{0, 0}, {50, 50}}, L"", L"", 0, 1.0f, 0.0f,
                              kBlue);
         }},
        {"a resize", [](chart::ui::ChartWidget& w, int) { w.resize(700, 500); }},
        {"the legend", [](chart::ui::ChartWidget& w, int) { w.Set().SetLegendVisible(true); }},
        {"a selected chart",
         [](chart::ui::ChartWidget& w, int id) { w.Set().SetChartSelected(id, true); }},
        {"a hidden chart",
         [](chart::ui::ChartWidget& w, int id) { w.Set().ToggleChartVisibility(id); }},
        {"points appended to a line through few points", fewPoints(0, 0.0f, appendOne)},
        {"points appended to a dashed line", fewPoints(1, 0.0f, appendOne)},
        {"points appended to a spline", fewPoints(0, 0.5f, appendOne)},
        {"a move sideways past a line through few points", fewPoints(0, 0.0f, moveLeft)},
        {"points appended beside a translucent line through many points",
         [](chart::ui::ChartWidget& w, int id) {
             std::vector<ChartPoint> many;
             for (int i = 0; i <= 100; ++i) many.push_back({i * 1.0, 70.0 + i % 2});
             w.Set().AddChart(many, L"", L"", 0, 1.0f, 0.0f, 0x800000FF);
             w.RenderFrame(1.0);
             const ChartPoint p{80.5, 30};
             w.Set().AppendChartPoints(id, std::span(&p, 1));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        chart::ui::ChartWidget chart;
        chart.resize(800, 600);
        chart.ZoomToRange(0, 100, 0, 100);
        // Dense enough to be drawn in part: it is the change that counts.
        std::vector<ChartPoint> pts;
        for (int i = 0; i <= 8000; ++i) pts.push_back({i / 100.0, 40 + 20 * std::sin(i * 0.03)});
        const int id = chart.Set().AddChart(pts, L"Temp", L"", 0, 2.0f, 0.0f, kRed);
        chart.RenderFrame(1.0);
        c.change(chart, id);
        const int whole = chart.BackgroundDrawCount(), partial = chart.PartialDrawCount();
        ASSERT_TRUE(SamePicture(chart.RenderFrame(1.0).copy(), FreshRender(chart, 1.0)));
        EXPECT_EQ(chart.BackgroundDrawCount(), whole + 1);
        EXPECT_EQ(chart.PartialDrawCount(), partial);
    }
}

// ---- mouse and keyboard ------------------------------------------------------

TEST_F(ChartContainerTest, WheelNotchZoomsAboutTheMouse) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const QPoint at(333, 222);
    const double x = chart_.Mapping().DataX(at.x()), y = chart_.Mapping().DataY(at.y());
    const double scale = chart_.Mapping().scaleX;
    Wheel(chart_, at, 120);
    EXPECT_DOUBLE_EQ(chart_.Mapping().scaleX, scale * 1.2);
    EXPECT_NEAR(chart_.Mapping().DataX(at.x()), x, 1e-9);
    EXPECT_NEAR(chart_.Mapping().DataY(at.y()), y, 1e-9);
    Wheel(chart_, at, -120);
    EXPECT_NEAR(chart_.Mapping().scaleX, scale, 1e-12);
}

TEST_F(ChartContainerTest, ClickOnACurveTogglesItsSelectionOnly) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const int low = AddLine(30);
    const int high = AddLine(70, kBlue);
    chart_.SetSelection(10, 20);
    QTest::mouseClick(&chart_, Qt::LeftButton, {}, Pixel(50, 30) + QPoint(0, 4));
    EXPECT_TRUE(chart_.Set().FindChart(low)->selected);
    EXPECT_FALSE(chart_.IsSelecting());
    EXPECT_TRUE(chart_.HasSelection());  // no selection drag started
    QTest::mouseClick(&chart_, Qt::LeftButton, {}, Pixel(50, 30));
    EXPECT_FALSE(chart_.Set().FindChart(low)->selected);

    chart_.Set().ToggleChartVisibility(high);  // a hidden chart is never hit
    QTest::mouseClick(&chart_, Qt::LeftButton, {}, Pixel(50, 70));
    EXPECT_FALSE(chart_.Set().FindChart(high)->selected);
    EXPECT_FALSE(chart_.HasSelection());  // that was a click on empty ground
}

TEST_F(ChartContainerTest, LeftDragSelectsAndAClickRemovesTheSelection) {
    chart_.ZoomToRange(0, 100, 0, 100);
    QTest::mousePress(&chart_, Qt::LeftButton, {}, Pixel(20, 50));
    EXPECT_TRUE(chart_.IsSelecting());
    EXPECT_FALSE(chart_.HasSelection());
    QTest::mouseMove(&chart_, Pixel(60, 40));
    QTest::mouseRelease(&chart_, Qt::LeftButton, {}, Pixel(60, 40));
    ASSERT_TRUE(chart_.HasSelection());
    EXPECT_NEAR(chart_.SelectionStart(), 20, 0.5);
    EXPECT_NEAR(chart_.SelectionEnd(), 60, 0.5);
    EXPECT_EQ(chart_.CaptureCount(), 0);

    QTest::mouseClick(&chart_, Qt::LeftButton, {}, Pixel(80, 50));
    EXPECT_FALSE(chart_.HasSelection());
}

TEST_F(ChartContainerTest, CtrlDragZoomsToTheBoxAndMakesItHome) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const QPoint a = Pixel(20, 80), b = Pixel(60, 40);
    const double x1 = chart_.Mapping().DataX(a.x()), y1 = chart_.Mapping().DataY(a.y());
    const double x2 = chart_.Mapping().DataX(b.x()), y2 = chart_.Mapping().DataY(b.y());
    QTest::mousePress(&chart_, Qt::LeftButton, Qt::ControlModifier, a);
    EXPECT_TRUE(chart_.IsZoomBoxing());
    QTest::mouseMove(&chart_, b);
    QTest::mouseRelease(&chart_, Qt::LeftButton, Qt::ControlModifier, b);
    EXPECT_FALSE(chart_.IsZoomBoxing());
    EXPECT_EQ(chart_.HomeRange(), (chart::ui::DataRange{x1, x2, y2, y1}));
    EXPECT_FALSE(chart_.HasSelection());
}

// A zoom box without width or height, or a range the view cannot show, is
// ignored entirely: the view and the home range stay, so "Reset container"
// still returns to the last range shown.
TEST_F(ChartContainerTest, DegenerateZoomBoxChangesNeitherViewNorHome) {
    AddLine(500);
    chart_.ZoomToRange(0, 100, 0, 100);
    const chart::ui::DataRange home = chart_.HomeRange();
    struct Case {
        const char* what;
        QPoint from, to;
    };
    const Case boxes[] = {
        {"no movement", Pixel(30, 30), Pixel(30, 30)},
        {"no width", Pixel(30, 30), Pixel(30, 70)},
        {"no height", Pixel(30, 30), Pixel(70, 30)},
    };
    for (const Case& c : boxes) {
        SCOPED_TRACE(c.what);
        QTest::mousePress(&chart_, Qt::LeftButton, Qt::ControlModifier, c.from);
        QTest::mouseMove(&chart_, c.to);
        QTest::mouseRelease(&chart_, Qt::LeftButton, Qt::ControlModifier, c.to);
        EXPECT_EQ(chart_.HomeRange(), home);
        EXPECT_NEAR(chart_.Mapping().DataX(800), 100, 1e-9);
        chart_.ZoomToFit();  // elsewhere, then back home
        chart_.ResetContainer();
        EXPECT_NEAR(chart_.Mapping().DataX(800), 100, 1e-9);
    }
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(chart_.ZoomToRange(5, 5, 0, 10));
    EXPECT_FALSE(chart_.ZoomToRange(0, 10, 7, 7));
    EXPECT_FALSE(chart_.ZoomToRange(0, inf, 0, 10));
    EXPECT_FALSE(chart_.ZoomToRange(-1e308, 1e308, -1e308, 1e308));
    EXPECT_EQ(chart_.HomeRange(), home);
    EXPECT_TRUE(chart_.ZoomToRange(0, 50, 0, 50));
    EXPECT_EQ(chart_.HomeRange(), (chart::ui::DataRange{0, 50, 0, 50}));
}

TEST_F(ChartContainerTest, EscapeCancelsTheInnermostThing) {
    chart_.ZoomToRange(0, 100, 0, 100);
    struct Case {
        const char* what;
        bool ctrl;           // start a zoom-box drag instead of a selection
        bool release;        // finish the drag before Escape
        bool selectionLeft;  // a selection made before stays
    };
    const Case cases[] = {
        {"zoom box", true, false, true},
        {"selecting drag", false, false, false},
        {"finished selection", false, true, false},
    };
    for (const Case& c : cases) {
        chart_.ZoomToRange(0, 100, 0, 100);
        chart_.SetSelection(10, 20);
        const auto mods = c.ctrl ? Qt::ControlModifier : Qt::NoModifier;
        QTest::mousePress(&chart_, Qt::LeftButton, mods, Pixel(30, 30));
        QTest::mouseMove(&chart_, Pixel(50, 50));
        if (c.release)
            QTest::mouseRelease(&chart_, Qt::LeftButton, mods, Pixel(50, 50));
        QTest::keyClick(&chart_, Qt::Key_Escape);
        EXPECT_EQ(chart_.HasSelection(), c.selectionLeft) << c.what;
        EXPECT_FALSE(chart_.IsZoomBoxing() || chart_.IsSelecting()) << c.what;
        EXPECT_EQ(chart_.CaptureCount(), 0) << c.what;
        EXPECT_EQ(chart_.HomeRange(), (chart::ui::DataRange{0, 100, 0, 100})) << c.what;
        QTest::mouseRelease(&chart_, Qt::LeftButton, mods, Pixel(50, 50));
        EXPECT_EQ(chart_.HomeRange(), (chart::ui::DataRange{0, 100, 0, 100})) << c.what;
    }
}

TEST_F(ChartContainerTest, RightDragPansRightClickOpensTheMenuOfWhatIsUnderIt) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const int id = AddLine(50, kRed, L"Temp Main");
    const double ox = chart_.Mapping().originX, oy = chart_.Mapping().originY;
    QTest::mousePress(&chart_, Qt::RightButton, {}, QPoint(300, 300));
    EXPECT_TRUE(chart_.IsPanning());
    QTest::mouseMove(&chart_, QPoint(340, 280));
    EXPECT_EQ(chart_.Mapping().originX, ox + 40);
    EXPECT_EQ(chart_.Mapping().originY, oy - 20);
    QTest::mouseRelease(&chart_, Qt::RightButton, {}, QPoint(340, 280));
    EXPECT_FALSE(chart_.IsPanning());
    EXPECT_TRUE(menus_.empty());

    QTest::mouseClick(&chart_, Qt::RightButton, {}, Pixel(50, 50));
    ASSERT_EQ(menus_.size(), 1u);
    EXPECT_EQ(menus_[0].texts, (QStringList{"Hide", "Save chart...", "Show chart points"}));
    EXPECT_EQ(chart_.ContextChartId(), id);
    QTest::mouseClick(&chart_, Qt::RightButton, {}, Pixel(50, 10));
    ASSERT_EQ(menus_.size(), 2u);
    EXPECT_EQ(menus_[1].texts.front(), "Show Legend");
    EXPECT_EQ(chart_.ContextChartId(), -1);

    // The context-menu key opens the container menu at the top-left corner.
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5),
                          chart_.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&chart_, &key);
    ASSERT_EQ(menus_.size(), 3u);
    EXPECT_EQ(menus_[2].at, chart_.mapToGlobal(QPoint(0, 0)));
}

TEST_F(ChartContainerTest, DraggingOutsideThePlotScrollsEveryTick) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const auto plot = chart_.CurrentLayout().plot;
    QTest::mousePress(&chart_, Qt::LeftButton, {}, Pixel(50, 50));
    QTimer* timer = chart_.findChild<QTimer*>();
    ASSERT_TRUE(timer);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);
    const QPoint outside(static_cast<int>(plot.x) - 30, 300);
    QTest::mouseMove(&chart_, outside);
    const double x = chart_.Mapping().originX;
    chart_.AutoScrollTick();
    chart_.AutoScrollTick();
    EXPECT_EQ(chart_.Mapping().originX, x + 60);  // curves move right, data further left shows
    EXPECT_EQ(chart_.Mapping().originY, chart_.Mapping().originY);
    QTest::mouseRelease(&chart_, Qt::LeftButton, {}, outside);
    EXPECT_FALSE(timer->isActive());
    chart_.AutoScrollTick();
    EXPECT_EQ(chart_.Mapping().originX, x + 60);
}

TEST_F(ChartContainerTest, ArrowKeysMoveByAGridStep) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const auto layout = chart_.CurrentLayout();
    const double ox = chart_.Mapping().originX, oy = chart_.Mapping().originY;
    QTest::keyClick(&chart_, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(chart_.Mapping().originX, ox + layout.ticksX.spacing);
    QTest::keyClick(&chart_, Qt::Key_Right);
    QTest::keyClick(&chart_, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(chart_.Mapping().originX, ox - layout.ticksX.spacing);
    QTest::keyClick(&chart_, Qt::Key_Up);
    EXPECT_DOUBLE_EQ(chart_.Mapping().originY, oy + layout.ticksY.spacing);
    QTest::keyClick(&chart_, Qt::Key_Down);
    QTest::keyClick(&chart_, Qt::Key_Down);
    EXPECT_DOUBLE_EQ(chart_.Mapping().originY, oy - layout.ticksY.spacing);
}

TEST_F(ChartContainerTest, MiddleButtonTogglesTrackingAndHidesTheCursor) {
    chart_.ZoomToRange(0, 100, 0, 100);
    AddLine(50);
    QTest::mouseClick(&chart_, Qt::MiddleButton, {}, QPoint(300, 300));
    EXPECT_TRUE(chart_.IsTracking());
    EXPECT_EQ(chart_.cursor().shape(), Qt::BlankCursor);
    QTest::mouseClick(&chart_, Qt::MiddleButton, {}, QPoint(300, 300));
    EXPECT_FALSE(chart_.IsTracking());
    QTest::mouseMove(&chart_, Pixel(50, 50));
    EXPECT_EQ(chart_.cursor().shape(), Qt::PointingHandCursor);  // over a curve
    QTest::mouseMove(&chart_, Pixel(50, 90));
    EXPECT_EQ(chart_.cursor().shape(), Qt::ArrowCursor);
}

// The tracking box's title names the data point under the mouse, its x from
// the x scale and its y from the y scale, which differ here.
TEST_F(ChartContainerTest, TrackingBoxTitleShowsTheDataPointUnderTheMouse) {
    AddLine(20);
    chart_.Set().SetXValueFormatter([](double v) { return std::to_wstring(std::lround(v)); });
    chart_.Set().SetYValueFormatter([](double v) { return std::to_wstring(std::lround(v)); });
    chart_.ZoomToRange(0, 100, 0, 40);
    ASSERT_GT(std::abs(chart_.Mapping().scaleX - chart_.Mapping().scaleY), 1.0);
    chart_.SetTracking(true);
    struct Case {
        double x, y;
        const wchar_t* title;
    };
    const Case cases[] = {
        {25, 30, L"Mouse at [25, 30]"},
        {80, 10, L"Mouse at [80, 10]"},
    };
    for (const Case& c : cases) {
        QTest::mouseMove(&chart_, Pixel(c.x, c.y));
        chart_.RenderFrame(1.0);
        EXPECT_EQ(chart_.Boxes().Tracking().title, c.title);
    }
}

TEST_F(ChartContainerTest, DoubleClickZoomsToFit) {
    chart_.ZoomToRange(0, 10, 0, 10);
    AddLine(50);
    chart_.SetSelection(20, 30);
    // As the window system delivers it: press, release, press, double click, release.
    const QPoint at(300, 300);
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(&chart_, button, {}, at);
        QTest::mousePress(&chart_, button, {}, at);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(at), QPointF(chart_.mapToGlobal(at)),
                        button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(&chart_, &dbl);
        QTest::mouseRelease(&chart_, button, {}, at);
        EXPECT_EQ(chart_.CaptureCount(), 0) << button;
    }
    EXPECT_NEAR(chart_.Mapping().DataX(800), 101.5, 1e-9);
    EXPECT_FALSE(chart_.HasSelection());
    EXPECT_FALSE(chart_.IsTracking());  // two middle presses: on and off again
}

// ---- commands ------------------------------------------------------------------

TEST_F(ChartContainerTest, HideAndPointsOnADeletedChartSayChartWasDeleted) {
    for (int command : {chart::ui::kCmdHideChart, chart::ui::kCmdShowChartPoints}) {
        messages_.messages.clear();
        nextCommand_ = command;
        chart_.OpenChartMenu(42, QPoint());
        ASSERT_EQ(messages_.messages.size(), 1u) << command;
        EXPECT_EQ(messages_.messages[0],
                  (uitest::RecordedMessage{L"Chart was deleted!", platform::MessageIcon::Error}));
    }
}

TEST_F(ChartContainerTest, HideDeselectsAndPointsToggle) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const int id = AddLine(50);
    chart_.Set().SetChartSelected(id, true);
    nextCommand_ = chart::ui::kCmdShowChartPoints;
    chart_.OpenChartMenu(id, QPoint());
    EXPECT_TRUE(chart_.Set().FindChart(id)->showPoints);
    nextCommand_ = chart::ui::kCmdHideChart;
    chart_.OpenChartMenu(id, QPoint());
    EXPECT_FALSE(chart_.Set().FindChart(id)->visible);
    EXPECT_FALSE(chart_.Set().FindChart(id)->selected);
    EXPECT_TRUE(chart::ui::LabelRowCharts(chart_.Set()).empty());
    EXPECT_TRUE(messages_.messages.empty());
}

TEST_F(ChartContainerTest, SaveWritesSelectedElseVisibleChartsAndReportsFailures) {
    test_support::TempDir dir;
    const int a = AddLine(10, kRed, L"A");
    const int b = AddLine(20, kRed, L"B");
    const int c = AddLine(30, kRed, L"C");
    const int hidden = AddLine(40, kRed, L"Hidden");
    chart_.Set().ToggleChartVisibility(hidden);
    QString path = QString::fromStdString(dir.Path("out.xml"));
    int dialogs = 0;
    chart_.SetSaveFileDialog([&](QWidget*) {
        ++dialogs;
        return path;
    });
    const auto saved = [&] {
        chart::ui::ChartWidget reader;
        std::set<int> ids;
        std::wstring error;
        EXPECT_TRUE(reader.Set().LoadChartsXml(path.toStdWString(), ids, error)) << error.size();
        std::vector<std::wstring> names;
        for (const auto& [id, s] : reader.Set().Charts()) names.push_back(s->name);
        return names;
    };

    // Nothing selected: every visible chart with points.
    chart_.RunCommand(chart::ui::kCmdSaveCharts);
    EXPECT_EQ(saved(), (std::vector<std::wstring>{L"A", L"B", L"C"}));
    // Two selected: "Save chart..." from a third chart's menu saves those two.
    chart_.Set().SetChartSelected(a, true);
    chart_.Set().SetChartSelected(c, true);
    nextCommand_ = chart::ui::kCmdSaveChart;
    chart_.OpenChartMenu(b, QPoint());
    EXPECT_EQ(saved(), (std::vector<std::wstring>{L"A", L"C"}));
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(messages_.messages.empty());

    // The writer's error text.
    path = QString::fromStdString(dir.Path("no/such/folder/out.xml"));
    chart_.RunCommand(chart::ui::kCmdSaveCharts);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(messages_.messages[0].text, L"Error: unable to open file for writing \"" +
                                              path.toStdWString() +
                                              L"\": No such file or directory");

    // Cancelled: nothing happens.
    path.clear();
    chart_.RunCommand(chart::ui::kCmdSaveCharts);
    EXPECT_EQ(messages_.messages.size(), 1u);
}

TEST_F(ChartContainerTest, NothingToSave) {
    chart_.Set().AddChart({}, L"Empty", L"", 0, 2, 0, kRed);
    int dialogs = 0;
    chart_.SetSaveFileDialog([&](QWidget*) {
        ++dialogs;
        return QString("/tmp/never.xml");
    });
    chart_.RunCommand(chart::ui::kCmdSaveCharts);
    EXPECT_EQ(dialogs, 0);
    ASSERT_EQ(messages_.messages.size(), 1u);
    EXPECT_EQ(messages_.messages[0],
              (uitest::RecordedMessage{L"No charts to save!", platform::MessageIcon::Error}));
}

TEST_F(ChartContainerTest, ShowHideTogglesAndTellsTheParent) {
    const int id = AddLine(10);
    const int empty = chart_.Set().AddChart({}, L"E", L"", 0, 2, 0, kRed);
    QSignalSpy spy(&chart_, &chart::ui::ChartWidget::ChartVisibilityToggled);
    chart_.RunCommand(chart::ui::kCmdShowHideFirst + id);
    EXPECT_FALSE(chart_.Set().FindChart(id)->visible);
    chart_.RunCommand(chart::ui::kCmdShowHideFirst + id);
    chart_.RunCommand(chart::ui::kCmdShowHideFirst + empty);
    chart_.RunCommand(chart::ui::kCmdShowHideFirst + 500);  // no such chart
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy[0], (QList<QVariant>{id, false}));
    EXPECT_EQ(spy[1], (QList<QVariant>{id, true}));
    EXPECT_EQ(spy[2], (QList<QVariant>{empty, false}));  // hidden now, and it has no points anyway
}

TEST_F(ChartContainerTest, ContainerCommands) {
    chart_.ZoomToRange(0, 100, 0, 100);
    AddLine(10);
    const auto layout = chart_.CurrentLayout();
    const double ox = chart_.Mapping().originX, oy = chart_.Mapping().originY;
    struct Case {
        int command;
        double dx, dy;
    };
    const Case moves[] = {{chart::ui::kCmdMoveRight, layout.ticksX.spacing, 0},
                          {chart::ui::kCmdMoveLeft, -layout.ticksX.spacing, 0},
                          {chart::ui::kCmdMoveUp, 0, -layout.ticksY.spacing},
                          {chart::ui::kCmdMoveDown, 0, layout.ticksY.spacing}};
    for (const Case& c : moves) {
        chart_.ZoomToRange(0, 100, 0, 100);
        chart_.RunCommand(c.command);
        EXPECT_DOUBLE_EQ(chart_.Mapping().originX, ox + c.dx) << c.command;
        EXPECT_DOUBLE_EQ(chart_.Mapping().originY, oy + c.dy) << c.command;
    }
    chart_.RunCommand(chart::ui::kCmdShowLegend);
    EXPECT_TRUE(chart_.Set().IsLegendVisible());
    chart_.RunCommand(chart::ui::kCmdEnableTracking);
    EXPECT_TRUE(chart_.IsTracking());
    chart_.RunCommand(chart::ui::kCmdZoomToFit);
    EXPECT_NEAR(chart_.Mapping().DataX(800), 101.5, 1e-9);
    chart_.RunCommand(chart::ui::kCmdResetContainer);
    EXPECT_NEAR(chart_.Mapping().DataX(800), 100, 1e-9);
}

// ---- pixels ----------------------------------------------------------------------

TEST_F(ChartContainerTest, GridCurveAndSelectionBandWhereTheMappingSays) {
    chart_.ZoomToRange(0, 100, 0, 100);
    AddLine(25);
    chart_.SetSelection(55, 75);
    const QImage image = chart_.RenderFrame(1.0);
    const auto layout = chart_.CurrentLayout();
    const ViewMapping& m = chart_.Mapping();

    // Every grid column inside the plot has grey dashes along it, and a
    // column between two grid lines has none.
    const auto cols = chart::ui::GridColumns(m.originX, layout.ticksX, 0, 800);
    int checked = 0;
    for (const auto& col : cols) {
        const int x = static_cast<int>(std::round(col.pixel));
        if (x <= layout.plot.x + 1 || x >= 799 || (col.value >= 50 && col.value <= 80))
            continue;
        int grey = 0, greyBeside = 0;
        for (int y = 5; y < 300; ++y) {
            grey += At(image, x, y) == 0x808080;
            greyBeside += At(image, x + 7, y) == 0x808080;
        }
        EXPECT_GT(grey, 100) << col.value;
        EXPECT_LT(greyBeside, 20) << col.value;  // where grid rows cross
        ++checked;
    }
    EXPECT_GE(checked, 2);

    // The red curve at y = 25.
    const int cy = static_cast<int>(std::round(m.PixelY(25)));
    const int cx = static_cast<int>(m.PixelX(30)) + 3;
    bool red = false;
    for (int y = cy - 1; y <= cy + 1; ++y) red |= Near(At(image, cx, y), 0xFF0000, 40);
    EXPECT_TRUE(red);
    EXPECT_EQ(At(image, cx, cy - 6), 0xFFFFFFu);

    // The band: light blue at half alpha over white, only between 55 and 75.
    const int by = static_cast<int>(m.PixelY(70));  // between two grid rows
    EXPECT_TRUE(Near(At(image, static_cast<int>(m.PixelX(62)), by), qRgb(214, 235, 242), 2));
    EXPECT_EQ(At(image, static_cast<int>(m.PixelX(52)), by), 0xFFFFFFu);
    EXPECT_EQ(At(image, static_cast<int>(m.PixelX(78)), by), 0xFFFFFFu);
}

TEST_F(ChartContainerTest, SelectionLeftOfThePlotDrawsNothing) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const QImage plain = chart_.RenderFrame(1.0);
    chart_.SetSelection(-50, -20);
    // The selection boxes still show at the right; the plot stays untouched.
    const QRect plot(0, 0, 450, 600);
    EXPECT_EQ(chart_.RenderFrame(1.0).copy(plot), plain.copy(plot));
}

// Dark (text) pixels in a rectangle of an image.
int Ink(const QImage& image, const QRect& r) {
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) ink += qGray(image.pixel(x, y)) < 100;
    return ink;
}

TEST_F(ChartContainerTest, TickLabelsAtThePlotEdgesStayWholeAndDistinct) {
    // y 0..100 puts the row "100" on the widget's top edge and "0" on the
    // plot's bottom edge; x 0..101 puts the column "100" 8 px from the right.
    chart_.ZoomToRange(0, 101, 0, 100);
    const QImage image = chart_.RenderFrame(1.0);
    const auto l = chart_.CurrentLayout();
    const int labels = static_cast<int>(l.yLabelColumnWidth) - 3;  // right end of the row labels
    const int bottom = static_cast<int>(l.plot.Bottom());
    // Each whole label has a blank pixel row or column between it and the
    // edge it was moved away from; a cut one is inked up to the edge.
    EXPECT_GT(Ink(image, QRect(0, 1, labels, 10)), 0) << "top row label";
    EXPECT_EQ(Ink(image, QRect(0, 0, labels, 1)), 0) << "top row label cut";
    EXPECT_GT(Ink(image, QRect(0, bottom - 11, labels, 10)), 0) << "bottom row label";
    EXPECT_EQ(Ink(image, QRect(0, bottom - 1, labels, 4)), 0) << "bottom row label cut";
    EXPECT_GT(Ink(image, QRect(770, bottom + 2, 29, 15)), 0) << "right column label";
    EXPECT_EQ(Ink(image, QRect(799, bottom + 2, 1, 15)), 0) << "right column label cut";

    // Labels read as the grid steps: "4050" and "4100", not "4.05e+03" twice.
    EXPECT_EQ(chart_.Set().YTickLabel(4050, l.ticksY.step), L"4050");
    EXPECT_EQ(chart_.Set().XTickLabel(100, l.ticksX.step), L"100");
}

TEST_F(ChartContainerTest, AtRatioTwoAOnePixelLineIsTwoDevicePixelsWide) {
    // x = 0 lies left of the plot, so that the zero line does not cover the axis.
    chart_.ZoomToRange(5, 100, 0, 100);
    const auto layout = chart_.CurrentLayout();
    const int axis = static_cast<int>(layout.yLabelColumnWidth);
    const int row = 150;  // between grid rows? the axis is solid anyway
    for (qreal ratio : {1.0, 2.0}) {
        const QImage image = chart_.RenderFrame(ratio);
        ASSERT_EQ(image.width(), static_cast<int>(800 * ratio));
        const int y = static_cast<int>(row * ratio);
        std::vector<int> greys;
        for (int x = static_cast<int>((axis - 3) * ratio); x <= (axis + 3) * ratio; ++x) {
            const QRgb c = At(image, x, y);
            if (c != 0xFFFFFF) {
                EXPECT_EQ(c, 0x808080u) << "smeared at " << x << " ratio " << ratio;
                greys.push_back(x);
            }
        }
        EXPECT_EQ(greys.size(), static_cast<size_t>(ratio)) << ratio;
    }
}

TEST_F(ChartContainerTest, OverlayChangesReuseTheCachedBackground) {
    chart_.ZoomToRange(0, 100, 0, 100);
    AddLine(50);
    chart_.RenderFrame(1.0);
    const int draws = chart_.BackgroundDrawCount();
    chart_.SetTracking(true);
    for (int x = 100; x < 400; x += 50) QTest::mouseMove(&chart_, QPoint(x, 300));
    chart_.SetSelection(10, 30);
    chart_.RenderFrame(1.0);
    EXPECT_EQ(chart_.BackgroundDrawCount(), draws);
    // Appended points bring the background up to date; but the line through
    // a few points is drawn whole, as no part of it can be drawn alone.
    const std::vector<ChartPoint> more = {{120, 50}};
    chart_.Set().AppendChartPoints(0, more);
    chart_.RenderFrame(1.0);
    EXPECT_EQ(chart_.BackgroundDrawCount(), draws + 1);
    chart_.resize(700, 500);
    chart_.RenderFrame(1.0);
    EXPECT_EQ(chart_.BackgroundDrawCount(), draws + 2);
}

TEST_F(ChartContainerTest, PressesOnTheLabelBoxesGoToTheBoxes) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const int id = AddLine(50, kRed, L"Temp Main");
    chart_.Set().SetLegendVisible(true);
    chart_.SetSelection(10, 20);
    chart_.RenderFrame(1.0);
    const chart::ui::Legend& legend = chart_.Boxes().LegendBox();
    ASSERT_TRUE(legend.shown);
    const QPoint checkBox = legend.Position() + legend.CellRect().topLeft() +
                            QPoint(4 + legend.ColumnWidths()[0] / 2, legend.RowHeight() / 2);

    // A press on the legend's row selects its chart and starts no drag.
    QTest::mouseClick(&chart_, Qt::LeftButton, {}, checkBox);
    EXPECT_TRUE(chart_.Set().FindChart(id)->selected);
    EXPECT_TRUE(chart_.HasSelection());
    EXPECT_EQ(chart_.CaptureCount(), 0);

    // A press on the selection box is swallowed; a double click there does not fit.
    const chart::ui::Legend& box = chart_.Boxes().Selection();
    ASSERT_TRUE(box.shown);
    const QPoint onBox = box.Position() + QPoint(10, 5);
    const double scale = chart_.Mapping().scaleX;
    QTest::mouseClick(&chart_, Qt::LeftButton, {}, onBox);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(onBox), QPointF(chart_.mapToGlobal(onBox)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&chart_, &dbl);
    EXPECT_TRUE(chart_.HasSelection());
    EXPECT_EQ(chart_.Mapping().scaleX, scale);
}

TEST_F(ChartContainerTest, AHiddenLegendCatchesNoMouse) {
    chart_.ZoomToRange(0, 100, 0, 100);
    AddLine(10, kRed, L"Temp Main");
    chart_.Set().SetLegendVisible(true);
    chart_.RenderFrame(1.0);
    const chart::ui::Legend& legend = chart_.Boxes().LegendBox();
    ASSERT_TRUE(legend.shown);
    const QPoint cell = legend.Position() + legend.CellRect().topLeft() +
                        QPoint(4 + legend.ColumnWidths()[0] / 2, legend.RowHeight() / 2);
    chart_.Set().SetLegendVisible(false);
    chart_.RenderFrame(1.0);  // nothing overlaid: the background is the frame
    EXPECT_FALSE(legend.shown);

    // A curve through that spot is selected by a click there.
    const double y = chart_.Mapping().DataY(cell.y());
    const int under = AddLine(y, kBlue);
    chart_.RenderFrame(1.0);
    QTest::mouseClick(&chart_, Qt::LeftButton, {}, cell);
    EXPECT_TRUE(chart_.Set().FindChart(under)->selected);
    chart_.Set().ToggleChartVisibility(under);

    // A drag from there selects.
    chart_.RenderFrame(1.0);
    QTest::mousePress(&chart_, Qt::LeftButton, {}, cell);
    QTest::mouseMove(&chart_, cell - QPoint(100, 0));
    QTest::mouseRelease(&chart_, Qt::LeftButton, {}, cell - QPoint(100, 0));
    EXPECT_TRUE(chart_.HasSelection());

    // A double click there fits: the selection boxes moved off the spot.
    chart_.ClearSelection();
    chart_.RenderFrame(1.0);
    const double scale = chart_.Mapping().scaleX;
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(cell), QPointF(chart_.mapToGlobal(cell)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&chart_, &dbl);
    EXPECT_NE(chart_.Mapping().scaleX, scale);
}

TEST_F(ChartContainerTest, APanNeverScrollsByItself) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const auto plot = chart_.CurrentLayout().plot;
    const QPoint outside(static_cast<int>(plot.x) - 30, 300);
    QTest::mousePress(&chart_, Qt::RightButton, {}, QPoint(300, 300));
    QTest::mouseMove(&chart_, outside);
    const ViewMapping panned = chart_.Mapping();
    chart_.AutoScrollTick();
    chart_.AutoScrollTick();
    EXPECT_EQ(chart_.Mapping().originX, panned.originX);
    EXPECT_EQ(chart_.Mapping().originY, panned.originY);

    // A selecting drag joined to the pan scrolls as it would alone.
    QTest::mousePress(&chart_, Qt::LeftButton, {}, outside);
    chart_.AutoScrollTick();
    EXPECT_EQ(chart_.Mapping().originX, panned.originX + 30);
    QTest::mouseRelease(&chart_, Qt::LeftButton, {}, outside);
    QTest::mouseRelease(&chart_, Qt::RightButton, {}, outside);
    EXPECT_EQ(chart_.CaptureCount(), 0);
}

TEST_F(ChartContainerTest, OverlayLabelsHideTheTickLabelsTheyTouch) {
    chart_.ZoomToRange(0, 100, 0, 100);
    const QImage plain = chart_.RenderFrame(1.0);
    const auto l = chart_.CurrentLayout();
    // An x tick label in the middle of the row below the plot.
    QRectF tick;
    for (const QRectF& r : chart_.TickLabelRects())
        if (r.top() > l.plot.Bottom() && r.left() > 300 && r.left() < 500)
            tick = r;
    ASSERT_FALSE(tick.isEmpty());
    const QRect whole = tick.toAlignedRect();
    ASSERT_GT(Ink(plain, whole), 0);

    // A selection edge whose label box begins in the middle of that label.
    const chart::ui::OverlayText text{chart_.font(), l.xLabelRowHeight};
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    double px = tick.center().x();
    QRect box;
    for (int i = 0; i < 3; ++i) {
        const double x = chart_.Mapping().DataX(px);
        const QString label = QString::fromStdWString(chart_.Set().XValueFormatter()(x));
        box = chart::ui::SelectionLabelRects(l.plot, px, 700, label, "700", text, &probe)[0];
        px += tick.center().x() - box.left();
        chart_.SetSelection(chart_.Mapping().DataX(px), chart_.Mapping().DataX(700));
    }
    const QImage image = chart_.RenderFrame(1.0);
    const QRect leftOfBox(whole.left(), whole.top(), box.left() - 1 - whole.left(), whole.height());
    ASSERT_GT(leftOfBox.width(), 1);
    EXPECT_GT(Ink(plain, leftOfBox), 0);
    EXPECT_EQ(Ink(image, leftOfBox), 0) << "a fragment of the tick label is left";

    // The tracking labels do the same to the row labels left of the plot.
    chart_.ClearSelection();
    chart_.RenderFrame(1.0);
    QRectF row;
    for (const QRectF& r : chart_.TickLabelRects())
        if (r.right() < l.plot.x && r.top() > 100 && r.top() < 400)
            row = r;
    ASSERT_FALSE(row.isEmpty());
    chart_.SetTracking(true);
    // The y label box, centred on the mouse, reaches 4 pixels into the label.
    QTest::mouseMove(&chart_, QPoint(400, static_cast<int>(row.bottom()) + 4));
    const QImage tracked = chart_.RenderFrame(1.0);
    const QRect upper = row.toAlignedRect().adjusted(0, 0, 0, -6);
    EXPECT_GT(Ink(plain, upper), 0);
    EXPECT_EQ(Ink(tracked, upper), 0) << "a fragment of the row label is left";
}

// A document owns the set and any number of controls show it: each hears
// every change of the set it shows, and only of that set.
TEST(ChartSetViews, EveryControlShowingASetRedrawsOnItsChanges) {
    chart::ChartSet set;
    chart::ChartSet other;
    const std::vector<ChartPoint> line = {{0, 0}, {100, 100}};
    auto a = std::make_unique<chart::ui::ChartWidget>(set);
    chart::ui::ChartWidget b(set);
    for (chart::ui::ChartWidget* w : {a.get(), &b}) w->resize(300, 200);
    ASSERT_EQ(&a->Set(), &set);
    ASSERT_EQ(&b.Set(), &set);

    const auto draws = [](chart::ui::ChartWidget& w) {
        w.RenderFrame(1.0);
        return w.BackgroundDrawCount();
    };
    const int a0 = draws(*a), b0 = draws(b);
    set.AddChart(line, L"Temp", L"", 0, 1.0f, 0.0f, kRed);
    a->ZoomToFit();
    b.ZoomToFit();
    EXPECT_EQ(draws(*a), a0 + 1);
    EXPECT_EQ(draws(b), b0 + 1);
    EXPECT_EQ(a->RenderFrame(1.0), b.RenderFrame(1.0)) << "two views of one set differ";

    // b shows another set from now on.
    b.SetSet(other);
    EXPECT_EQ(&b.Set(), &other);
    const int a1 = draws(*a), b1 = draws(b);
    set.RedrawAll();
    EXPECT_EQ(draws(*a), a1 + 1);
    EXPECT_EQ(draws(b), b1) << "b still listens to the set it left";
    other.RedrawAll();
    EXPECT_EQ(draws(b), b1 + 1);

    // A control that goes stops listening; the set lives on.
    a.reset();
    set.RedrawAll();
    set.AddChart(line, L"Fan", L"", 0, 1.0f, 0.0f, kBlue);
    EXPECT_EQ(set.Charts().size(), 2u);
}

// calveroctl draws with the canvas alone: for the same set and view it must
// give the pixels the control shows, overlay and decoration included.
TEST(ChartCanvas, DrawsWhatTheChartControlShows) {
    chart::ui::ChartWidget widget;
    widget.resize(640, 400);
    chart::ChartSet& set = widget.Set();
    const std::vector<ChartPoint> rise = {{0, 25}, {60, 150}, {120, 180}, {180, 245}, {240, 90}};
    const std::vector<ChartPoint> fan = {{0, 900}, {120, 1400}, {240, 1000}};
    set.AddChart(rise, L"Temp Main", L"Temperature", 0, 2.0f, 0.5f, kRed);
    set.AddChart(fan, L"Fan", L"RPM", 5, 1.0f, 0.0f, kBlue);
    set.SetLegendVisible(true);
    widget.ZoomToFit();
    widget.SetSelection(40, 150);
    widget.SetLastMousePos(QPoint(300, 200));
    widget.SetTracking(true);
    const auto decoration = [](QPainter& p, const ViewMapping& m, const QRectF&) {
        p.fillRect(QRectF(m.PixelX(100), m.PixelY(200), 30, 30), QColor(0, 160, 0, 80));
    };
    widget.SetDecoration(decoration);

    chart::ui::ChartCanvas canvas(set);
    canvas.SetLogicalDpi(widget.logicalDpiX(), widget.logicalDpiY());
    canvas.SetDecoration(decoration);
    chart::ui::ChartViewState view;
    view.mapping = canvas.FitAll(widget.size()).value();
    EXPECT_EQ(view.mapping.scaleX, widget.Mapping().scaleX);
    EXPECT_EQ(view.mapping.originY, widget.Mapping().originY);
    view.selectionExists = true;
    view.selectionStart = 40;
    view.selectionEnd = 150;
    view.tracking = true;
    view.mouse = QPoint(300, 200);

    const QImage shown = widget.RenderFrame(1.0);
    const QImage drawn = canvas.RenderFrame(widget.size(), 1.0, view);
    ASSERT_EQ(drawn.size(), shown.size());
    EXPECT_TRUE(drawn == shown) << "the canvas draws other pixels than the control";
}
