#include "chart/ui/curve_painter.h"

#include <QImage>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <optional>

namespace chart::ui {

namespace {

constexpr qreal kMarkerDiameter = 7.0;
constexpr qreal kCrossArm = 3.5;
// Far-off points are pulled in so that the rasteriser never sees huge or
// infinite coordinates; the visible part of a line to them barely moves.
constexpr double kPixelLimit = 1e6;
// Wide or dashed strokes of one long polyline leave Qt's fast stroker; short
// pieces keep it, at the cost of joints blended twice.
constexpr int kChunkPoints = 64;

QColor Argb(uint32_t argb) {
    return QColor::fromRgba(argb);
}

double ClampPixel(double v) {
    return std::clamp(v, -kPixelLimit, kPixelLimit);
}

QPointF ToPixel(const chart::ChartPoint& p, const ViewMapping& mapping) {
    return {ClampPixel(mapping.PixelX(p.x)), ClampPixel(mapping.PixelY(p.y))};
}

bool IsFinite(const QPointF& p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Device pixels per logical pixel in x, and where logical x = 0 lands.
struct DeviceColumns {
    double scale = 1.0;
    double offset = 0.0;
    double Column(double logicalX) const { return std::floor(logicalX * scale + offset); }
    double Centre(double column) const { return (column + 0.5 - offset) / scale; }
};

DeviceColumns ColumnsOf(const QPainter& painter) {
    const QTransform t = painter.deviceTransform();
    if (t.m11() <= 0 || t.m12() != 0 || t.m21() != 0)
        return {};
    return {t.m11(), t.dx()};
}

// Dash lengths of the pattern in units of the pen width, for carrying the
// pattern from one piece of a chunked stroke to the next.
double PatternLength(const QPen& pen) {
    double length = 0;
    for (qreal d : pen.dashPattern()) length += d;
    return length;
}

double PolylineLength(std::span<const QPointF> points) {
    double length = 0;
    for (size_t i = 1; i < points.size(); ++i) {
        const QPointF d = points[i] - points[i - 1];
        length += std::hypot(d.x(), d.y());
    }
    return length;
}

// Straight segments in pieces that overlap by one segment, so that every
// joint lies inside some piece and is joined, not capped; the dash pattern
// continues across pieces. Non-finite points break the line.
void StrokeStraight(QPainter& painter, std::span<const QPointF> pixels, QPen pen) {
    const bool dashed = pen.style() != Qt::SolidLine;
    const double pattern = dashed ? PatternLength(pen) : 0;
    const double unit = pen.widthF() > 0 ? pen.widthF() : 1.0;
    painter.setPen(pen);
    double offset = 0;
    size_t i = 0;
    while (i + 1 < pixels.size()) {
        if (!IsFinite(pixels[i])) {
            ++i;
            offset = 0;
            continue;
        }
        size_t end = i + 1;
        while (end < pixels.size() && end - i < kChunkPoints && IsFinite(pixels[end])) ++end;
        const std::span<const QPointF> piece = pixels.subspan(i, end - i);
        if (piece.size() >= 2) {
            if (dashed) {
                pen.setDashOffset(std::fmod(offset, pattern));
                painter.setPen(pen);
            }
            painter.drawPolyline(piece.data(), static_cast<int>(piece.size()));
        }
        if (end == pixels.size() || !IsFinite(pixels[end]) || piece.size() < 3) {
            i = end;
            offset = 0;
            continue;
        }
        if (dashed)
            offset += PolylineLength(piece.first(piece.size() - 1)) / unit;
        i = end - 2;
    }
}

void StrokeCurve(QPainter& painter, std::span<const QPointF> pixels, float tension,
                 const QPen& pen) {
    if (tension == 0) {
        StrokeStraight(painter, pixels, pen);
        return;
    }
    painter.strokePath(CurvePath(pixels, tension), pen);
}

template <class PixelXAt>
bool MarkersFitBy(size_t count, PixelXAt pixelX) {
    for (size_t i = 1; i < count; ++i) {
        const double dx = std::abs(pixelX(i) - pixelX(i - 1));
        if (dx > 0 && dx < kMarkerDiameter)
            return false;
    }
    return true;
}

void AddCross(QPainterPath& path, const QPointF& p) {
    path.moveTo(p.x() - kCrossArm, p.y());
    path.lineTo(p.x() + kCrossArm, p.y());
    path.moveTo(p.x(), p.y() - kCrossArm);
    path.lineTo(p.x(), p.y() + kCrossArm);
}

void AddCircle(QPainterPath& path, const QPointF& p) {
    path.addEllipse(p, kMarkerDiameter / 2, kMarkerDiameter / 2);
}

// Crosses, circles or nothing, from the real points of the run.
QPainterPath MarkerPath(const chart::CChartSeries& chart, std::span<const chart::ChartPoint> run,
                        const ViewMapping& mapping) {
    QPainterPath path;
    const bool single = run.size() == 1;
    if (chart.dashStyle == 5) {
        for (const chart::ChartPoint& p : run) AddCross(path, ToPixel(p, mapping));
        if (single)
            AddCircle(path, ToPixel(run.front(), mapping));
        return path;
    }
    if (!chart.showPoints && !single)
        return path;
    const bool fit = MarkersFitBy(run.size(), [&](size_t i) { return mapping.PixelX(run[i].x); });
    if (!fit)
        return path;
    for (const chart::ChartPoint& p : run) AddCircle(path, ToPixel(p, mapping));
    return path;
}

QPen CurvePen(const chart::CChartSeries& chart) {
    return ChartPen(chart.color, chart.penWidth, chart.dashStyle);
}

QPen HighlightPen(const chart::CChartSeries& chart) {
    return ChartPen(HighlightColor(chart.color), chart.penWidth + 6.0, 0);
}

// Fraction of device column `offset` (relative to the stroked column) that a
// vertical stroke `width` device pixels wide, centred in its column, covers.
double HorizontalCover(int offset, double width) {
    const double lo = std::max(0.5 - width / 2, static_cast<double>(offset));
    const double hi = std::min(0.5 + width / 2, static_cast<double>(offset) + 1);
    return std::clamp(hi - lo, 0.0, 1.0);
}

// Blends `argb` at `cover` (0..1) over a premultiplied pixel.
inline void BlendPixel(QRgb& dst, QRgb argb, double cover) {
    const uint32_t alpha = static_cast<uint32_t>(qAlpha(argb) * cover + 0.5);
    if (alpha == 0)
        return;
    const uint32_t r = (qRed(argb) * alpha + 127) / 255;
    const uint32_t g = (qGreen(argb) * alpha + 127) / 255;
    const uint32_t b = (qBlue(argb) * alpha + 127) / 255;
    const uint32_t keep = 255 - alpha;
    auto mix = [keep](uint32_t src, uint32_t d) { return src + (d * keep + 127) / 255; };
    dst = qRgba(static_cast<int>(mix(r, static_cast<uint32_t>(qRed(dst)))),
                static_cast<int>(mix(g, static_cast<uint32_t>(qGreen(dst)))),
                static_cast<int>(mix(b, static_cast<uint32_t>(qBlue(dst)))),
                static_cast<int>(mix(alpha, static_cast<uint32_t>(qAlpha(dst)))));
}

// Where a dense curve can be written straight into the image's pixels: a
// premultiplied image, drawn without rotation or shear. Thousands of short,
// wide anti-aliased strokes, or one outline with thousands of edges, cost
// Qt's rasteriser a pass each or a crawl; a column at a time costs the
// pixels it lights.
struct DirectTarget {
    QImage* image = nullptr;
    QRect clip;  // device pixels
    double yScale = 1.0;
    double yOffset = 0.0;
};

std::optional<DirectTarget> DirectTargetOf(QPainter& painter) {
    QImage* image = dynamic_cast<QImage*>(painter.device());
    if (!image || image->format() != QImage::Format_ARGB32_Premultiplied)
        return std::nullopt;
    if (painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return std::nullopt;
    if (painter.opacity() != 1.0)
        return std::nullopt;
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale || t.m11() <= 0 || t.m22() <= 0) {
        return std::nullopt;
    }
    DirectTarget target{image, image->rect(), t.m22(), t.dy()};
    if (painter.hasClipping()) {
        target.clip &= t.mapRect(painter.clipBoundingRect()).toRect();
    }
    return target;
}

void PaintColumns(const DirectTarget& target, std::span<const ColumnSpan> spans, double penWidth,
                  uint32_t argb) {
    const QRect clip = target.clip;
    if (clip.isEmpty())
        return;
    const double width = penWidth * target.yScale;  // device pixels
    const double half = width / 2;
    const int reach = static_cast<int>(std::ceil(std::max(0.0, half - 0.5)));
    const long long first = clip.left() - reach;
    const int count = clip.width() + 2 * reach;
    const std::vector<ColumnExtent> extents =
        ColumnExtents(spans, first, count, target.yScale, target.yOffset);
    std::vector<double> cover(static_cast<size_t>(2 * reach + 1));
    for (int d = -reach; d <= reach; ++d) {
        cover[static_cast<size_t>(d + reach)] = HorizontalCover(d, width);
    }
    const QRgb colour = argb;
    const bool opaque = qAlpha(colour) == 255;
    uchar* const bits = target.image->bits();
    const qsizetype stride = target.image->bytesPerLine();
    for (int x = clip.left(); x <= clip.right(); ++x) {
        // Rows any stroke reaching this column may touch.
        double top = 1e300, bottom = -1e300;
        for (int d = -reach; d <= reach; ++d) {
            const ColumnExtent& e = extents[static_cast<size_t>(x - d - first)];
            if (e.Empty() || cover[static_cast<size_t>(d + reach)] <= 0)
                continue;
            top = std::min(top, e.top - half);
            bottom = std::max(bottom, e.bottom + half);
        }
        if (top > bottom)
            continue;
        const int y0 = std::max(clip.top(), static_cast<int>(std::floor(top)));
        const int y1 = std::min(clip.bottom(), static_cast<int>(std::ceil(bottom)) - 1);
        // Rows that the column's own stroke covers wholly need no coverage sums.
        int fullFrom = y1 + 1, fullTo = y1;
        const ColumnExtent& own = extents[static_cast<size_t>(x - first)];
        if (!own.Empty() && cover[static_cast<size_t>(reach)] >= 1.0) {
            fullFrom = std::max(y0, static_cast<int>(std::ceil(own.top - half)));
            fullTo = std::min(y1, static_cast<int>(std::floor(own.bottom + half)) - 1);
        }
        for (int y = y0; y <= y1; ++y) {
            QRgb& pixel = reinterpret_cast<QRgb*>(bits + y * stride)[x];
            if (y >= fullFrom && y <= fullTo) {
                if (opaque) {
                    pixel = colour;
                } else {
                    BlendPixel(pixel, colour, 1.0);
                }
                continue;
            }
            double c = 0;
            for (int d = -reach; d <= reach; ++d) {
                const ColumnExtent& e = extents[static_cast<size_t>(x - d - first)];
                if (e.Empty())
                    continue;
                const double inRow = std::min(e.bottom + half, y + 1.0) -
                                     std::max(e.top - half, static_cast<double>(y));
                c = std::max(c,
                             cover[static_cast<size_t>(d + reach)] * std::clamp(inRow, 0.0, 1.0));
            }
            if (c > 0)
                BlendPixel(pixel, colour, c);
        }
    }
}

void DrawDense(QPainter& painter, const chart::CChartSeries& chart,
               std::span<const chart::ChartPoint> run, const ViewMapping& mapping,
               const DeviceColumns& device) {
    const std::optional<DirectTarget> target = DirectTargetOf(painter);
    if (chart.dashStyle == 0 && target) {
        const std::vector<ColumnSpan> spans =
            ReduceColumns(chart, run, mapping, device.scale, device.offset);
        PaintColumns(*target, spans, chart.penWidth, chart.color);
        if (chart.selected) {
            PaintColumns(*target, spans, chart.penWidth + 6.0, HighlightColor(chart.color));
        }
        return;
    }
    // A dash pattern must run along the line, which columns cannot show.
    const std::vector<QPointF> pixels =
        ReduceToColumns(chart, run, mapping, device.scale, device.offset);
    StrokeStraight(painter, pixels, CurvePen(chart));
    if (chart.selected)
        StrokeStraight(painter, pixels, HighlightPen(chart));
}

void DrawLine(QPainter& painter, const chart::CChartSeries& chart,
              std::span<const chart::ChartPoint> run, const ViewMapping& mapping,
              const VisibleRange& range) {
    const DeviceColumns device = ColumnsOf(painter);
    // Only the columns the run covers inside the view count.
    const double left = std::max(mapping.PixelX(run.front().x), mapping.PixelX(range.left));
    const double right = std::min(mapping.PixelX(run.back().x), mapping.PixelX(range.right));
    const double columns = std::max(0.0, right - left) * device.scale;
    if (UseColumnReduction(run.size(), columns, chart.tension)) {
        DrawDense(painter, chart, run, mapping, device);
        return;
    }
    const std::vector<QPointF> pixels = ToPixelPoints(run, mapping);
    StrokeCurve(painter, pixels, chart.tension, CurvePen(chart));
    if (chart.selected)
        StrokeCurve(painter, pixels, chart.tension, HighlightPen(chart));
}

}  // namespace

QPen ChartPen(uint32_t argb, qreal width, int dashStyle) {
    static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                               Qt::DashDotLine, Qt::DashDotDotLine};
    const Qt::PenStyle style = dashStyle >= 0 && dashStyle < 5 ? kStyles[dashStyle] : Qt::SolidLine;
    return QPen(Argb(argb), width, style, Qt::FlatCap, Qt::BevelJoin);
}

uint32_t HighlightColor(uint32_t argb) {
    return (argb & 0x00FFFFFFu) | 0x40000000u;
}

std::vector<QPointF> ToPixelPoints(std::span<const chart::ChartPoint> points,
                                   const ViewMapping& mapping) {
    std::vector<QPointF> pixels;
    pixels.reserve(points.size());
    for (const chart::ChartPoint& p : points) pixels.push_back(ToPixel(p, mapping));
    return pixels;
}

bool MarkersFit(std::span<const QPointF> pixels) {
    return MarkersFitBy(pixels.size(), [&](size_t i) { return pixels[i].x(); });
}

std::vector<BezierPiece> CardinalSpline(std::span<const QPointF> pixels, float tension) {
    std::vector<BezierPiece> pieces;
    if (pixels.size() < 2)
        return pieces;
    pieces.reserve(pixels.size() - 1);
    const qreal k = tension / 3.0;
    const size_t last = pixels.size() - 1;
    for (size_t i = 0; i < last; ++i) {
        // End points take themselves as their missing neighbour.
        const QPointF& before = pixels[i == 0 ? 0 : i - 1];
        const QPointF& after = pixels[i + 1 == last ? last : i + 2];
        pieces.push_back({pixels[i] + (pixels[i + 1] - before) * k,
                          pixels[i + 1] - (after - pixels[i]) * k, pixels[i + 1]});
    }
    return pieces;
}

QPainterPath CurvePath(std::span<const QPointF> pixels, float tension) {
    QPainterPath path;
    if (pixels.empty())
        return path;
    path.moveTo(pixels.front());
    if (tension == 0) {
        for (size_t i = 1; i < pixels.size(); ++i) path.lineTo(pixels[i]);
        return path;
    }
    for (const BezierPiece& b : CardinalSpline(pixels, tension)) path.cubicTo(b.c1, b.c2, b.end);
    return path;
}

bool UseColumnReduction(size_t runPoints, double columns, float tension) {
    return tension == 0 && static_cast<double>(runPoints) > std::ceil(columns) + 2.0;
}

std::vector<ColumnSpan> ReduceColumns(const chart::CChartSeries& chart,
                                      std::span<const chart::ChartPoint> run,
                                      const ViewMapping& mapping, double devicePixelRatio,
                                      double deviceOffset) {
    const DeviceColumns device{devicePixelRatio > 0 ? devicePixelRatio : 1.0, deviceOffset};
    const size_t base = static_cast<size_t>(run.data() - chart.Points().data());
    auto columnOf = [&](double x) { return device.Column(ClampPixel(mapping.PixelX(x))); };
    auto pixelY = [&](double y) { return ClampPixel(mapping.PixelY(y)); };
    std::vector<ColumnSpan> spans;
    size_t i = 0;
    while (i < run.size()) {
        const size_t start = i;
        const double column = columnOf(run[start].x);
        // Every point whose column is this one; the test uses the very
        // expression that put the first of them in it, so bins never disagree.
        i = chart.FirstFailing(base + start + 1, [&](double x) { return columnOf(x) <= column; }) -
            base;
        i = std::min(i, run.size());
        const YExtent e = chart.YExtentOf(base + start, base + i);
        if (!(e.min <= e.max))
            continue;  // nothing but NaN here
        const double first = run[start].y, last = run[i - 1].y;
        ColumnSpan span;
        span.x = device.Centre(column);
        span.column = static_cast<long long>(column);
        span.top = pixelY(e.max);
        span.bottom = pixelY(e.min);
        span.first = std::isnan(first) ? span.bottom : pixelY(first);
        span.last = std::isnan(last) ? span.bottom : pixelY(last);
        spans.push_back(span);
    }
    return spans;
}

std::vector<QPointF> ReduceToColumns(const chart::CChartSeries& chart,
                                     std::span<const chart::ChartPoint> run,
                                     const ViewMapping& mapping, double devicePixelRatio,
                                     double deviceOffset) {
    std::vector<QPointF> out;
    auto keep = [&](double x, double y) {
        const QPointF p(x, y);
        if (out.empty() || out.back() != p)
            out.push_back(p);
    };
    for (const ColumnSpan& c : ReduceColumns(chart, run, mapping, devicePixelRatio, deviceOffset)) {
        // The extreme nearer the first value comes first: the column is one
        // vertical stroke either way, and less of it is drawn twice.
        const bool topFirst = std::abs(c.first - c.top) <= std::abs(c.first - c.bottom);
        keep(c.x, c.first);
        keep(c.x, topFirst ? c.top : c.bottom);
        keep(c.x, topFirst ? c.bottom : c.top);
        keep(c.x, c.last);
    }
    return out;
}

std::vector<ColumnExtent> ColumnExtents(std::span<const ColumnSpan> spans, long long firstColumn,
                                        int count, double yScale, double yOffset) {
    std::vector<ColumnExtent> extents(static_cast<size_t>(std::max(count, 0)));
    const long long end = firstColumn + static_cast<long long>(extents.size());
    auto widen = [&](long long column, double y) {
        if (column < firstColumn || column >= end)
            return;
        ColumnExtent& e = extents[static_cast<size_t>(column - firstColumn)];
        const double dy = y * yScale + yOffset;
        if (e.Empty()) {
            e.top = e.bottom = dy;
        } else {
            e.top = std::min(e.top, dy);
            e.bottom = std::max(e.bottom, dy);
        }
    };
    for (size_t i = 0; i < spans.size(); ++i) {
        const ColumnSpan& a = spans[i];
        widen(a.column, a.top);
        widen(a.column, a.bottom);
        if (i + 1 == spans.size())
            break;
        // The line from this column's last point to the next column's first,
        // both at their column centres, through every column in between.
        const ColumnSpan& b = spans[i + 1];
        const double x0 = static_cast<double>(a.column) + 0.5;
        const double x1 = static_cast<double>(b.column) + 0.5;
        const double slope = (b.first - a.last) / (x1 - x0);
        const long long from = std::max(a.column, firstColumn);
        const long long to = std::min(b.column, end - 1);
        for (long long k = from; k <= to; ++k) {
            const double left = std::max(static_cast<double>(k), x0);
            const double right = std::min(static_cast<double>(k + 1), x1);
            widen(k, a.last + (left - x0) * slope);
            widen(k, a.last + (right - x0) * slope);
        }
    }
    return extents;
}

void DrawChartCurve(QPainter& painter, const chart::CChartSeries& chart, const ViewMapping& mapping,
                    const VisibleRange& range) {
    if (chart.MinY() > range.top || chart.MaxY() < range.bottom)
        return;
    const std::span<const chart::ChartPoint> run = chart.GetPointRange(range.left, range.right);
    if (run.empty())
        return;
    painter.save();
    if (chart.dashStyle != 5 && run.size() >= 2)
        DrawLine(painter, chart, run, mapping, range);
    const QPainterPath markers = MarkerPath(chart, run, mapping);
    if (!markers.isEmpty()) {
        painter.setBrush(Qt::NoBrush);
        painter.strokePath(markers, ChartPen(chart.color, 1.0, 0));
        const bool highlight = chart.dashStyle == 5 || run.size() == 1;
        if (chart.selected && highlight)
            painter.strokePath(markers, HighlightPen(chart));
    }
    painter.restore();
}

}  // namespace chart::ui
