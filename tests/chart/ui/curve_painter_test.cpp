// The curve painter: the marker rule, the spline, the per-column reduction,
// and pictures of long curves against the same curve drawn through every
// point.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "chart/chart_series.h"
#include "chart/ui/curve_painter.h"

namespace chart::ui {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

TEST(CurvePainter, MarkersFitOnlyWhenNoNeighbourIsCloserThanSevenPixels) {
    struct Case {
        const char* name;
        std::vector<QPointF> pixels;
        bool fit;
    };
    const Case cases[] = {
        {"none", {}, true},
        {"one", {{5, 5}}, true},
        {"exactly 7 apart", {{0, 0}, {7, 3}, {14, 0}}, true},
        {"6.9 apart", {{0, 0}, {6.9, 0}}, false},
        {"same x is not compared", {{0, 0}, {0, 9}, {7, 0}}, true},
        {"one close pair among wide ones", {{0, 0}, {20, 0}, {25, 0}, {50, 0}}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(MarkersFit(c.pixels), c.fit) << c.name;
}

TEST(CurvePainter, SplineIsStraightAtTensionZeroAndCardinalOtherwise) {
    const std::vector<QPointF> p = {{0, 0}, {10, 10}, {20, 0}};
    const std::vector<BezierPiece> straight = CardinalSpline(p, 0.0f);
    ASSERT_EQ(straight.size(), 2u);
    EXPECT_EQ(straight[0].c1, p[0]);
    EXPECT_EQ(straight[0].c2, p[1]);
    EXPECT_EQ(straight[1].end, p[2]);

    const std::vector<BezierPiece> curved = CardinalSpline(p, 0.5f);
    const qreal k = 0.5 / 3;
    // Inner tangents run parallel to the chord through the neighbours; the
    // ends take themselves as their missing neighbour.
    EXPECT_NEAR(curved[0].c1.x(), 10 * k, 1e-9);
    EXPECT_NEAR(curved[0].c1.y(), 10 * k, 1e-9);
    EXPECT_NEAR(curved[0].c2.x(), 10 - 20 * k, 1e-9);
    EXPECT_NEAR(curved[0].c2.y(), 10, 1e-9);
    EXPECT_NEAR(curved[1].c1.x(), 10 + 20 * k, 1e-9);
    EXPECT_NEAR(curved[1].c2.y(), 0 + 10 * k, 1e-9);
    EXPECT_TRUE(CardinalSpline(std::vector<QPointF>{{1, 1}}, 0.5f).empty());
}

TEST(CurvePainter, ReductionOnlyForStraightRunsDenserThanAPointPerColumn) {
    EXPECT_FALSE(UseColumnReduction(400, 400, 0.0f));
    EXPECT_TRUE(UseColumnReduction(10'000, 400, 0.0f));
    EXPECT_FALSE(UseColumnReduction(10'000, 400, 0.5f));  // a spline must see every point
}

ChartSeries Series(std::vector<ChartPoint> points) {
    ChartSeries s;
    s.SetPoints(std::move(points));
    return s;
}

TEST(CurvePainter, ColumnKeepsFirstExtremesAndLastInOrder) {
    // pixel x = x, pixel y = 100 - y: column 0 holds x 0.0 .. 0.75.
    const ViewMapping m{0, 100, 1, 1};
    const ChartSeries s = Series({{0.0, 60}, {0.25, 10}, {0.5, 90}, {0.75, 40}, {1.5, 60}});
    const std::vector<QPointF> out = ReduceToColumns(s, s.Points(), m);
    // First y 60 (pixel 40) lies nearer the top extreme (pixel 10), so it comes first.
    const std::vector<QPointF> want = {{0.5, 40}, {0.5, 10}, {0.5, 90}, {0.5, 60}, {1.5, 40}};
    EXPECT_EQ(out, want);
}

// Brute-force extremes per device column of every point of the run.
::testing::AssertionResult SpansMatchPoints(const ChartSeries& s, const ViewMapping& m,
                                            double dpr) {
    const std::vector<ColumnSpan> spans = ReduceColumns(s, s.Points(), m, dpr);
    size_t k = 0;
    for (size_t i = 0; i < s.Points().size();) {
        const double col = std::floor(m.PixelX(s.Points()[i].x) * dpr);
        double top = 1e300, bottom = -1e300;
        size_t j = i;
        for (; j < s.Points().size() && std::floor(m.PixelX(s.Points()[j].x) * dpr) == col; ++j) {
            top = std::min(top, m.PixelY(s.Points()[j].y));
            bottom = std::max(bottom, m.PixelY(s.Points()[j].y));
        }
        if (k >= spans.size())
            return ::testing::AssertionFailure() << "too few columns";
        const ColumnSpan& c = spans[k++];
        if (c.column != static_cast<long long>(col) || c.top != top || c.bottom != bottom ||
            c.first != m.PixelY(s.Points()[i].y) || c.last != m.PixelY(s.Points()[j - 1].y)) {
            return ::testing::AssertionFailure()
                   << "column " << col << ": got " << c.column << " " << c.top << ".." << c.bottom
                   << ", want " << top << ".." << bottom;
        }
        i = j;
    }
    if (k != spans.size())
        return ::testing::AssertionFailure() << "extra columns";
    return ::testing::AssertionSuccess();
}

TEST(CurvePainter, ReducedColumnsEqualAScanOfEveryPoint) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 5);
    std::vector<ChartPoint> p(100'000);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = {-50.0 + 0.001 * static_cast<double>(i), noise(rng)};
    p[54'321].y = 500;  // a lone spike
    const ChartSeries s = Series(p);
    struct Case {
        const char* name;
        ViewMapping m;
        double dpr;
    };
    const Case cases[] = {
        {"columns left of zero", {100, 300, 3.3, 2}, 1},
        {"many points per column", {0, 300, 0.37, 2}, 1},
        {"device pixel ratio 2", {80, 300, 3.3, 2}, 2},
    };
    for (const Case& c : cases) EXPECT_TRUE(SpansMatchPoints(s, c.m, c.dpr)) << c.name;
}

// ---- pictures ---------------------------------------------------------------

QImage Canvas(QSize size, qreal dpr) {
    QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(kWhite);
    return image;
}

// The chart drawn the plain way: every point, stroked with the chart's pen.
QImage EveryPoint(const ChartSeries& s, const ViewMapping& m, QSize size, qreal dpr) {
    QImage image = Canvas(size, dpr);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const std::vector<QPointF> px = ToPixelPoints(s.Points(), m);
    p.setPen(ChartPen(s.color, s.penWidth, s.dashStyle));
    p.drawPolyline(px.data(), static_cast<int>(px.size()));
    return image;
}

QImage Drawn(const ChartSeries& s, const ViewMapping& m, QSize size, qreal dpr) {
    QImage image = Canvas(size, dpr);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const VisibleRange range{m.DataY(-1), m.DataY(size.height() + 1), m.DataX(-1),
                             m.DataX(size.width() + 1)};
    DrawChartCurve(p, s, m, range);
    return image;
}

// Rows of each device column darker than half ink; (1, 0) for none.
std::vector<std::pair<int, int>> InkedRows(const QImage& image) {
    std::vector<std::pair<int, int>> rows(static_cast<size_t>(image.width()), {1, 0});
    for (int x = 0; x < image.width(); ++x) {
        auto& [top, bottom] = rows[static_cast<size_t>(x)];
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) >= 128)
                continue;
            if (top > bottom)
                top = y;
            bottom = y;
        }
    }
    return rows;
}

// Every device column of `a` lies within a (logical) pixel of what `b` inks
// in the same column or within a pixel beside it: the reduced curve sits at column centres, where
// every point drawn spreads a thin steep line over two columns at half ink.
// The outermost columns are left out: their neighbours lie outside the picture.
::testing::AssertionResult CoveredBy(const QImage& a, const QImage& b, const char* what) {
    const auto ra = InkedRows(a), rb = InkedRows(b);
    const int px = static_cast<int>(a.devicePixelRatio());
    const size_t reach = static_cast<size_t>(px);
    int inked = 0;
    for (size_t x = reach; x + reach < ra.size(); ++x) {
        const auto [top, bottom] = ra[x];
        if (top > bottom)
            continue;
        ++inked;
        int lo = 1 << 30, hi = -1;
        for (size_t n = x - reach; n <= x + reach; ++n) {
            if (rb[n].first > rb[n].second)
                continue;
            lo = std::min(lo, rb[n].first);
            hi = std::max(hi, rb[n].second);
        }
        if (top < lo - px || bottom > hi + px) {
            return ::testing::AssertionFailure()
                   << what << " column " << x << ": rows " << top << ".." << bottom << " beyond "
                   << lo << ".." << hi;
        }
    }
    if (inked < a.width() / 2)
        return ::testing::AssertionFailure() << "hardly anything drawn";
    return ::testing::AssertionSuccess();
}

TEST(CurvePainter, LongCurveLooksLikeEveryPointDrawn) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 1.5);
    std::vector<ChartPoint> p(60'000);
    double trend = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        trend += noise(rng) * 0.02;
        p[i] = {static_cast<double>(i) / 200.0, 50 + trend + noise(rng)};
    }
    p[12'345].y += 30;  // spikes up and down, a few points wide at most
    p[40'000].y -= 25;
    ChartSeries s = Series(p);
    s.color = 0xFF000000;
    const QSize size(300, 200);
    // x 0..300 over 360 px: about 170 points per column.
    // pixel y = 200 - 2y; the curve runs past both sides, as the visible run does.
    const ViewMapping m{-20, 200, 1.2, 2.0};
    for (const qreal dpr : {1.0, 2.0}) {
        for (const float width : {1.0f, 2.0f}) {
            SCOPED_TRACE(::testing::Message() << "ratio " << dpr << ", pen " << width);
            s.penWidth = width;
            const QImage got = Drawn(s, m, size, dpr), want = EveryPoint(s, m, size, dpr);
            EXPECT_TRUE(CoveredBy(got, want, "reduced"));
            EXPECT_TRUE(CoveredBy(want, got, "every point"));
        }
    }
}

TEST(CurvePainter, DenseCurveIsSolidInsideWithATranslucentBandWhenSelected) {
    // 30,000 points on y = 50 over 300 px, wiggling by far less than a pixel:
    // reduced, one row of solid colour with the pen's width.
    std::vector<ChartPoint> p(30'000);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = {static_cast<double>(i) / 100.0, 50.0 + 0.001 * static_cast<double>(i % 3)};
    ChartSeries s = Series(p);
    s.color = 0xFFFF0000;
    s.penWidth = 2;
    const ViewMapping m{0, 100, 1, 1};  // pixel y = 100 - y: the line lies on pixel row 50
    const QSize size(300, 100);
    struct Case {
        qreal dpr;
        bool selected;
        int y;  // logical row sampled at x = 150
        QRgb want;
    };
    // The band: 0x40 of red over white.
    const QRgb band = qRgb(255, 191, 191);
    const Case cases[] = {
        {1, false, 50, 0xFFFF0000}, {1, false, 46, kWhite}, {1, true, 50, 0xFFFF0000},
        {1, true, 47, band},        {1, true, 44, kWhite},  {2, false, 50, 0xFFFF0000},
        {2, true, 47, band},        {2, true, 44, kWhite},
    };
    for (const Case& c : cases) {
        s.selected = c.selected;
        const QImage img = Drawn(s, m, size, c.dpr);
        const QRgb got = img.pixel(QPoint(150, c.y) * c.dpr);
        const int diff =
            std::max({std::abs(qRed(got) - qRed(c.want)), std::abs(qGreen(got) - qGreen(c.want)),
                      std::abs(qBlue(got) - qBlue(c.want))});
        EXPECT_LE(diff, 1) << "ratio " << c.dpr << (c.selected ? ", selected" : "") << ", row "
                           << c.y << ": " << std::hex << got;
    }
}

TEST(CurvePainter, AtRatioTwoADenseCurveCoversWholeDeviceColumns) {
    // A flat dense line with a one-point spike up to y = 90 in logical column 150.
    std::vector<ChartPoint> p(30'000);
    for (size_t i = 0; i < p.size(); ++i) p[i] = {static_cast<double>(i) / 100.0, 50.0};
    p[15'050].y = 90;
    ChartSeries s = Series(p);
    s.color = 0xFFFF0000;
    const ViewMapping m{0, 100, 1, 1};  // the spike rises from row 50 to row 10
    struct Case {
        float pen;
        int firstRed, lastRed;  // device columns of the spike's stroke
    };
    // A pen of n logical pixels: 2n device columns, centred on the logical
    // column (device 300 and 301), none of them half covered.
    const Case cases[] = {{1, 300, 301}, {2, 299, 302}, {3, 298, 303}};
    for (const Case& c : cases) {
        s.penWidth = c.pen;
        const QImage img = Drawn(s, m, QSize(300, 100), 2);
        const int row = 60;  // logical row 30, halfway up the spike
        for (int x = c.firstRed - 2; x <= c.lastRed + 2; ++x) {
            const bool inside = x >= c.firstRed && x <= c.lastRed;
            EXPECT_EQ(img.pixel(x, row), inside ? 0xFFFF0000u : kWhite)
                << "pen " << c.pen << ", device column " << x;
        }
    }
}

TEST(CurvePainter, AppendsInAnUnchangedViewDrawAsAFreshReduction) {
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0, 2);
    std::vector<ChartPoint> p;
    p.reserve(20'000);
    for (int i = 0; i < 20'000; ++i) p.push_back({i * 0.01, 50 + noise(rng)});
    ChartSeries s = Series(p);
    const ViewMapping m{0, 200, 1.0, 2.0};  // x 0..300 over 300 px
    const QSize size(300, 200);
    Drawn(s, m, size, 1);  // the reduction is kept with the chart now
    for (int batch = 0; batch < 3; ++batch) {
        std::vector<ChartPoint> more;
        more.reserve(700);
        for (int i = 0; i < 700; ++i) {
            more.push_back({s.Points().back().x + 0.01 * (i + 1), 50 + noise(rng) * (batch + 1)});
        }
        more.back().y = 95;  // a spike in the newest column
        ASSERT_TRUE(s.AppendPoints(more));
        const ChartSeries fresh = s;  // a copy reduces on its own
        EXPECT_EQ(Drawn(s, m, size, 1), Drawn(fresh, m, size, 1)) << "batch " << batch;
    }
    // Replaced points never draw from the old reduction.
    s.SetPoints(std::vector<ChartPoint>{{0, 10}, {300, 10}});
    const ChartSeries fresh = s;
    EXPECT_EQ(Drawn(s, m, size, 1), Drawn(fresh, m, size, 1));
}

// A point that is not finite is not drawn, and neither is a segment that
// touches it: no stroke runs off to the plot's edge, no marker appears, and
// the finite stretches on both sides are drawn.
TEST(CurvePainter, NonFinitePointsAndTheirSegmentsAreNotDrawn) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const ViewMapping m{0, 100, 1, 1};  // pixel y = 100 - y
    const QSize size(100, 100);
    struct Case {
        const char* what;
        std::vector<ChartPoint> points;
        float tension;
        int dashStyle;
        bool showPoints;
    };
    auto sparse = [&](double bad) {
        return std::vector<ChartPoint>{{0, 50}, {30, 50}, {50, bad}, {70, 50}, {100, 50}};
    };
    std::vector<ChartPoint> dense;
    for (int i = 0; i <= 1000; ++i) dense.push_back({i / 10.0, i == 500 ? inf : 50.0});
    dense[300].y = -inf;
    dense[700].y = nan;
    const Case cases[] = {
        {"straight, +inf", sparse(inf), 0.0f, 0, true},
        {"straight, -inf", sparse(-inf), 0.0f, 0, true},
        {"straight, NaN", sparse(nan), 0.0f, 0, true},
        {"dashed, +inf", sparse(inf), 0.0f, 1, false},
        {"spline, +inf", sparse(inf), 0.5f, 0, false},
        {"spline, -inf", sparse(-inf), 0.5f, 0, false},
        {"crosses, +inf", sparse(inf), 0.0f, 5, false},
        {"dense, reduced", dense, 0.0f, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChartSeries s = Series(c.points);
        s.tension = c.tension;
        s.dashStyle = c.dashStyle;
        s.showPoints = c.showPoints;
        s.penWidth = 1;
        const QImage img = Drawn(s, m, size, 1);
        // Only rows 45..55 (the line at row 50 with its pen and markers) may
        // hold ink.
        for (int x = 0; x < size.width(); ++x) {
            for (int y = 0; y < size.height(); ++y) {
                if (y >= 45 && y <= 55)
                    continue;
                ASSERT_EQ(img.pixel(x, y), kWhite) << "ink at " << x << "," << y;
            }
        }
        auto inked = [&](int x0, int x1) {
            for (int x = x0; x < x1; ++x) {
                if (img.pixel(x, 50) != kWhite)
                    return true;
            }
            return false;
        };
        if (c.dashStyle != 5) {
            EXPECT_TRUE(inked(5, 25));  // the finite stretches are drawn
            EXPECT_TRUE(inked(75, 95));
        }
        if (c.points.size() == 5 && c.dashStyle != 5) {
            EXPECT_EQ(img.pixel(40, 50), kWhite);  // the segments to the bad point are not
        }
    }
}

TEST(CurvePainter, MarkersCrossesAndHighlight) {
    const ViewMapping m{0, 100, 1, 1};  // pixel y = 100 - y
    const QSize size(100, 100);
    auto at = [](const QImage& img, qreal x, qreal y) { return img.pixel(QPoint(x, y)); };

    // One visible point: a circle of 7 px around it, even without "show points".
    ChartSeries one = Series({{50, 50}});
    QImage img = Drawn(one, m, size, 1);
    EXPECT_NE(at(img, 50, 46.5), kWhite);  // on the circle, above the centre
    EXPECT_EQ(at(img, 50, 50), kWhite);    // the circle is not filled

    // Style 5: crosses at the points and no line between them.
    ChartSeries crosses = Series({{20, 50}, {80, 50}});
    crosses.dashStyle = 5;
    img = Drawn(crosses, m, size, 1);
    EXPECT_NE(at(img, 22, 50), kWhite);
    EXPECT_NE(at(img, 20, 52), kWhite);
    EXPECT_EQ(at(img, 50, 50), kWhite);

    // Points 5 px apart with "show points": no circles at all; 10 px apart: circles.
    ChartSeries dense = Series({{10, 50}, {15, 50}, {20, 50}});
    dense.showPoints = true;
    dense.penWidth = 1;
    EXPECT_EQ(at(Drawn(dense, m, size, 1), 10, 46.5), kWhite);
    ChartSeries wide = Series({{10, 50}, {20, 50}, {30, 50}});
    wide.showPoints = true;
    wide.penWidth = 1;
    EXPECT_NE(at(Drawn(wide, m, size, 1), 10, 46.5), kWhite);

    // Selected: a faint band of width penWidth + 6 along the curve.
    ChartSeries line = Series({{0, 50}, {100, 50}});
    line.color = 0xFFFF0000;
    EXPECT_EQ(at(Drawn(line, m, size, 1), 50, 46), kWhite);
    line.selected = true;
    const QRgb band = at(Drawn(line, m, size, 1), 50, 46);
    EXPECT_NE(band, kWhite);
    EXPECT_GT(qGreen(band), 150);  // translucent, not the chart's full red
}

// Device rows of column x whose pixel differs from white.
std::vector<int> TintedRows(const QImage& image, int x) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) != kWhite)
            rows.push_back(y);
    return rows;
}

TEST(CurvePainter, AThinLevelLineIsOneDeviceRowOfFullColour) {
    // pixel y = 100 - y: y = 50 lies on the border between rows 49 and 50,
    // y = 49.7 inside row 50; a pen of 1 logical pixel is 1 device row at
    // ratio 1, 2 rows at ratio 2. Sparse and dense runs alike.
    const ViewMapping m{0, 100, 1, 1};
    struct Case {
        const char* name;
        double y;
        size_t points;
        qreal dpr;
    };
    const Case cases[] = {
        {"sparse on a row border", 50, 40, 1},   {"sparse inside a row", 49.7, 40, 1},
        {"dense on a row border", 50, 3000, 1},  {"sparse at ratio 2", 50, 40, 2},
        {"sparse inside, ratio 2", 49.7, 40, 2}, {"dense at ratio 2", 50, 3000, 2},
    };
    for (const Case& c : cases) {
        std::vector<ChartPoint> p(c.points);
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = {300.0 * static_cast<double>(i) / static_cast<double>(p.size() - 1), c.y};
        ChartSeries s = Series(p);
        s.color = 0xFFFF0000;
        s.penWidth = 1;
        const QImage img = Drawn(s, m, QSize(300, 100), c.dpr);
        for (const int x : {37, 150, 251}) {
            const int dx = static_cast<int>(x * c.dpr);
            const std::vector<int> rows = TintedRows(img, dx);
            ASSERT_EQ(rows.size(), static_cast<size_t>(c.dpr)) << c.name << ", column " << x;
            for (int y : rows)
                EXPECT_EQ(img.pixel(dx, y), 0xFFFF0000u) << c.name << ", column " << x;
        }
    }
}

TEST(CurvePainter, TranslucentStrokesAreEvenAlongALongSparseCurve) {
    // 250 points over 300 px: drawn through every point (not reduced), long
    // enough to be stroked in pieces. Translucent ink must not pile up where
    // the pieces meet: every column of the line's middle row has one colour.
    std::vector<ChartPoint> p(250);
    for (size_t i = 0; i < p.size(); ++i) p[i] = {1.2 * static_cast<double>(i), 50.0};
    const ViewMapping m{0, 100, 1, 1};
    struct Case {
        const char* name;
        uint32_t color;
        bool selected;
        int row;  // the middle of the line, or of the highlight's band
    };
    const Case cases[] = {
        {"translucent line", 0x80FF0000, false, 49},
        {"highlight of a selected line", 0xFFFF0000, true, 46},
    };
    for (const Case& c : cases) {
        ChartSeries s = Series(p);
        s.color = c.color;
        s.penWidth = 2;
        s.selected = c.selected;
        const QImage img = Drawn(s, m, QSize(300, 100), 1);
        const QRgb want = img.pixel(10, c.row);
        ASSERT_NE(want, kWhite) << c.name;
        for (int x = 10; x < 290; ++x)
            ASSERT_EQ(img.pixel(x, c.row), want) << c.name << ", column " << x;
    }
}

TEST(CurvePainter, AHugePenIsDrawnAtMostSixtyFourDevicePixelsWide) {
    std::vector<ChartPoint> p(50);
    for (size_t i = 0; i < p.size(); ++i) p[i] = {6.0 * static_cast<double>(i), 50.0};
    const ViewMapping m{0, 100, 1, 1};
    for (const qreal dpr : {1.0, 2.0}) {
        ChartSeries s = Series(p);
        s.color = 0xFFFF0000;
        s.penWidth = 1'000'000;
        const QImage img = Drawn(s, m, QSize(300, 100), dpr);
        const std::vector<int> rows = TintedRows(img, static_cast<int>(150 * dpr));
        // 64 device rows of pen; anti-aliasing may tint one more on each side.
        EXPECT_GE(rows.size(), 64u) << "ratio " << dpr;
        EXPECT_LE(rows.size(), 66u) << "ratio " << dpr;
    }
    // The value stays with the chart; only the drawing is capped.
    EXPECT_EQ(CappedPenWidth(1'000'000, 1), 64);
    EXPECT_EQ(CappedPenWidth(1'000'000, 2), 32);
    EXPECT_EQ(CappedPenWidth(3, 2), 3);
}

TEST(CurvePainter, ADenseCurveJumpingBetweenNeighbouringColumnsHasNoGap) {
    // 100 points per column at y = 20 up to x = 100, then at y = 80: the jump
    // falls between columns 99 and 100 and only the line joining them draws it.
    std::vector<ChartPoint> p(30'000);
    for (size_t i = 0; i < p.size(); ++i) {
        const double x = static_cast<double>(i) / 100.0;
        p[i] = {x, x < 100 ? 20.5 : 80.5};
    }
    ChartSeries s = Series(p);
    s.color = 0xFF000000;
    s.penWidth = 1;
    const ViewMapping m{0, 100, 1, 1};  // the middles of rows 79 and 19
    for (const qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(::testing::Message() << "ratio " << dpr);
        const QImage got = Drawn(s, m, QSize(300, 100), dpr);
        const QImage want = EveryPoint(s, m, QSize(300, 100), dpr);
        for (const QImage* img : {&want, &got}) {
            for (int y = static_cast<int>(22 * dpr); y < static_cast<int>(78 * dpr); ++y) {
                int darkest = 255;
                for (int x = static_cast<int>(98 * dpr); x < static_cast<int>(102 * dpr); ++x)
                    darkest = std::min(darkest, qGray(img->pixel(x, y)));
                ASSERT_LT(darkest, 128)
                    << (img == &got ? "reduced" : "every point") << ", row " << y;
            }
        }
        EXPECT_TRUE(CoveredBy(got, want, "reduced"));
        EXPECT_TRUE(CoveredBy(want, got, "every point"));
    }
}

}  // namespace
}  // namespace chart::ui
