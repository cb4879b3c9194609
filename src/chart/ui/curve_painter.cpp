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
constexpr qreal kMaxPenDevicePixels = 64;

QColor Argb(uint32_t argb) {
    return QColor::fromRgba(argb);
}

// One device coordinate for a line `deviceWidth` device pixels wide: a
// pixel's middle for an odd width, a pixel border for an even one, so that
// a level line lights whole rows.
double SnapDevice(double d, double deviceWidth, bool antialiased) {
    if (!antialiased)
        return std::round(d);
    const double rows = std::max(1.0, std::round(deviceWidth));
    return std::fmod(rows, 2.0) == 1.0 ? std::floor(d) + 0.5 : std::round(d);
}

double ClampPixel(double v) {
    return std::clamp(v, -kPixelLimit, kPixelLimit);
}

// A point that is not finite has no pixel: NaN, which breaks the line there.
QPointF ToPixel(const chart::ChartPoint& p, const ViewMapping& mapping) {
    if (!chart::IsFinitePoint(p))
        return {std::nan(""), std::nan("")};
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

// Device columns per logical column where the ratio is a whole number (at
// most 4), else 1.
int GroupWidth(const DeviceColumns& device) {
    const double k = std::round(device.scale);
    return k >= 2 && k <= 4 && k == device.scale && device.offset == std::round(device.offset) &&
                   std::fmod(device.offset, k) == 0
               ? static_cast<int>(k)
               : 1;
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
void StrokePieces(QPainter& painter, std::span<const QPointF> pixels, QPen pen) {
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

// Device pixels of the image that a stroke of `pixels` with `pen` can
// reach, inside the painter's clip; empty when none.
QRect StrokeDeviceRect(const QPainter& painter, const QImage& image,
                       std::span<const QPointF> pixels, const QPen& pen) {
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    for (const QPointF& p : pixels) {
        if (!IsFinite(p))
            continue;
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    if (left > right)
        return {};
    // Flat caps and bevel joins stay within half the width of the points;
    // anti-aliasing adds a pixel.
    const double grow = pen.widthF() / 2 + 2;
    QRectF bounds(QPointF(left - grow, top - grow), QPointF(right + grow, bottom + grow));
    if (painter.hasClipping())
        bounds &= painter.clipBoundingRect();
    return painter.deviceTransform().mapRect(bounds).toAlignedRect() & image.rect();
}

// Translucent ink stroked in overlapping pieces would darken wherever two
// pieces cover the same pixels. The pieces go opaque into a layer of their
// own, which is laid over the picture once at the ink's alpha.
void StrokeStraight(QPainter& painter, std::span<const QPointF> pixels, const QPen& pen) {
    const int alpha = pen.color().alpha();
    if (alpha == 255 || pixels.size() <= static_cast<size_t>(kChunkPoints)) {
        StrokePieces(painter, pixels, pen);
        return;
    }
    QImage* image = dynamic_cast<QImage*>(painter.device());
    const QTransform device = painter.deviceTransform();
    if (!image || device.type() > QTransform::TxScale) {
        // Nowhere to put a layer: one stroke, slower but even.
        painter.strokePath(CurvePath(pixels, 0), pen);
        return;
    }
    const QRect area = StrokeDeviceRect(painter, *image, pixels, pen);
    if (area.isEmpty())
        return;
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(painter.renderHints());
        lp.setTransform(device * QTransform::fromTranslate(-area.x(), -area.y()));
        QPen opaque = pen;
        QColor ink = pen.color();
        ink.setAlpha(255);
        opaque.setColor(ink);
        StrokePieces(lp, pixels, opaque);
    }
    const qreal ratio = image->devicePixelRatio();
    layer.setDevicePixelRatio(ratio);
    painter.save();
    painter.setWorldTransform(QTransform());
    painter.setOpacity(painter.opacity() * alpha / 255.0);
    painter.drawImage(QPointF(area.topLeft()) / ratio, layer);
    painter.restore();
}

void StrokeCurve(QPainter& painter, std::span<const QPointF> pixels, float tension,
                 const QPen& pen) {
    if (tension == 0) {
        StrokeStraight(painter, pixels, pen);
        return;
    }
    // A spline per stretch of finite points.
    for (size_t i = 0; i < pixels.size();) {
        size_t end = i;
        while (end < pixels.size() && IsFinite(pixels[end])) ++end;
        if (end - i >= 2)
            painter.strokePath(CurvePath(pixels.subspan(i, end - i), tension), pen);
        i = end + 1;
    }
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
    if (!IsFinite(p))
        return;
    path.moveTo(p.x() - kCrossArm, p.y());
    path.lineTo(p.x() + kCrossArm, p.y());
    path.moveTo(p.x(), p.y() - kCrossArm);
    path.lineTo(p.x(), p.y() + kCrossArm);
}

void AddCircle(QPainterPath& path, const QPointF& p) {
    if (!IsFinite(p))
        return;
    path.addEllipse(p, kMarkerDiameter / 2, kMarkerDiameter / 2);
}

// Crosses, circles or nothing, from the real points of the run.
QPainterPath MarkerPath(const chart::ChartSeries& chart, chart::PointRun run,
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

// Device pixels per logical pixel of the painter's rows.
qreal DeviceScale(const QPainter& painter) {
    const qreal s = painter.deviceTransform().m22();
    return s > 0 ? s : 1.0;
}

qreal LineWidth(const chart::ChartSeries& chart, qreal deviceScale) {
    return CappedPenWidth(chart.penWidth, deviceScale);
}

QPen CurvePen(const chart::ChartSeries& chart, qreal deviceScale) {
    return ChartPen(chart.color, LineWidth(chart, deviceScale), chart.dashStyle);
}

// Six pixels wider than the line as drawn, so that it still shows around a
// capped one.
QPen HighlightPen(const chart::ChartSeries& chart, qreal deviceScale) {
    return ChartPen(HighlightColor(chart.color), LineWidth(chart, deviceScale) + 6.0, 0);
}

// Premultiplied pixel times a / 255, two channels per multiplication, with
// the raster engine's own rounding.
inline uint32_t ByteMul(uint32_t x, uint32_t a) {
    uint32_t t = (x & 0xff00ffu) * a;
    t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
    x = ((x >> 8) & 0xff00ffu) * a;
    x = (x + ((x >> 8) & 0xff00ffu) + 0x800080u) & 0xff00ff00u;
    return x | t;
}

// A premultiplied source over a premultiplied pixel.
inline void Over(QRgb& dst, uint32_t src) {
    dst = src + ByteMul(dst, 255 - qAlpha(src));
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

// Whole rows below or at `v`, and above or at it, without a library call.
int FloorInt(double v) {
    const int i = static_cast<int>(v);
    return i - (v < i ? 1 : 0);
}

int CeilInt(double v) {
    const int i = static_cast<int>(v);
    return i + (v > i ? 1 : 0);
}

// One vertical stroke that reaches a device column: device rows [top,
// bottom) and the share of the column's width it covers.
struct Stroke {
    double top;
    double bottom;
    double cover;
};

// What one device column of a dense curve lights: rows [from, to], of which
// [fullFrom, fullTo] lie wholly inside some stroke that covers the column
// wholly across; the rows outside need their coverage worked out.
struct ColumnRows {
    int from = 1, to = 0, fullFrom = 1, fullTo = 0;
};

ColumnRows RowsOf(std::span<const Stroke> strokes, const QRect& clip) {
    double top = 1e300, bottom = -1e300;
    for (const Stroke& s : strokes) {
        top = std::min(top, s.top);
        bottom = std::max(bottom, s.bottom);
    }
    ColumnRows r;
    if (top > bottom)
        return r;
    r.from = std::max(clip.top(), FloorInt(top));
    r.to = std::min(clip.bottom(), CeilInt(bottom) - 1);
    // Every stroke that covers the column wholly across counts, as long as
    // its rows join up with the rest.
    int fullFrom = r.to + 1, fullTo = r.to;
    for (int pass = 0; pass < 2; ++pass) {
        for (const Stroke& s : strokes) {
            if (s.cover < 1.0)
                continue;
            const int f = CeilInt(s.top), t = FloorInt(s.bottom) - 1;
            if (f > t)
                continue;
            if (fullFrom > fullTo) {
                fullFrom = f;
                fullTo = t;
            } else if (f <= fullTo + 1 && t >= fullFrom - 1) {
                fullFrom = std::min(fullFrom, f);
                fullTo = std::max(fullTo, t);
            }
        }
    }
    r.fullFrom = std::max(r.from, fullFrom);
    r.fullTo = std::min(r.to, fullTo);
    return r;
}

// Share of device row y that the strokes (each covering a positive share
// across) cover, 0..255. Conditional expressions the compiler turns into min
// and max, not branches: whether a stroke reaches a row is a coin toss.
uint32_t CoverAt(std::span<const Stroke> strokes, int y) {
    const double rowTop = y, rowBottom = y + 1.0;
    double c = 0;
    for (const Stroke& s : strokes) {
        const double from = s.top > rowTop ? s.top : rowTop;
        const double to = s.bottom < rowBottom ? s.bottom : rowBottom;
        // Never above 1; below 0 where the stroke misses the row, which
        // the maximum with 0 then drops.
        const double share = s.cover * (to - from);
        c = share > c ? share : c;
    }
    // c lies in [0, 1]: adding a half and truncating rounds, and keeps the
    // pixel values saved images already hold.
    return static_cast<uint32_t>(c * 255 + 0.5);  // NOLINT(bugprone-incorrect-roundings)
}

// Share of device column `column` that the stroke of each reduced column
// covers, `width` device pixels wide and centred on its reduced column, which
// is `group` device columns wide: the table of one phase of device column
// within its group, by reduced column from first - reach to first + reach.
struct StrokeCovers {
    int group = 1;
    int reach = 0;  // in reduced columns
    std::vector<std::vector<double>> byPhase;

    StrokeCovers(int groupWidth, double width) : group(groupWidth) {
        reach = static_cast<int>(std::ceil((width / 2 + group / 2.0) / group));
        for (int phase = 0; phase < group; ++phase) {
            std::vector<double>& covers = byPhase.emplace_back();
            for (int j = -reach; j <= reach; ++j) {
                // Device x relative to the first device column of the phase's group.
                const double centre = group * j + group / 2.0;
                const double lo = std::max<double>(phase, centre - width / 2);
                const double hi = std::min<double>(phase + 1, centre + width / 2);
                covers.push_back(std::clamp(hi - lo, 0.0, 1.0));
            }
        }
    }
};

// Column by column: the strokes' edges blended by their coverage, the rows
// between written as they are. Neighbouring columns share the cache lines of
// their rows, so going down a column costs little more than going along a
// row, and no pixel is visited that the curve leaves alone. A reduced column
// may span `group` device columns (a whole device pixel ratio), each of which
// is painted on its own.
void PaintColumns(const DirectTarget& target, std::span<const ColumnSpan> spans, double penWidth,
                  uint32_t argb, int group) {
    const QRect clip = target.clip;
    if (clip.isEmpty())
        return;
    const double width = penWidth * target.yScale;  // device pixels
    const double half = width / 2;
    const StrokeCovers covers(group, width);
    const int reach = covers.reach;
    auto groupOf = [group](int x) { return static_cast<long long>(FloorInt(double(x) / group)); };
    const long long first = groupOf(clip.left()) - reach;
    const long long count = groupOf(clip.right()) + reach + 1 - first;
    const std::vector<ColumnExtent> extents =
        ColumnExtents(spans, first, static_cast<int>(count), target.yScale, target.yOffset);
    const uint32_t colour = qPremultiply(argb);
    const bool opaque = qAlpha(colour) == 255;
    uchar* const bits = target.image->bits();
    const qsizetype stride = target.image->bytesPerLine();
    auto pixel = [&](int x, int y) -> QRgb& {
        return reinterpret_cast<QRgb*>(bits + y * stride)[x];
    };
    std::vector<Stroke> strokes;
    const int strokesAtMost = 2 * reach + 1;
    strokes.reserve(static_cast<size_t>(strokesAtMost));
    for (int x = clip.left(); x <= clip.right(); ++x) {
        const long long g = groupOf(x);
        const std::vector<double>& cover = covers.byPhase[static_cast<size_t>(x - g * group)];
        strokes.clear();
        for (int j = -reach; j <= reach; ++j) {
            const ColumnExtent& e = extents[static_cast<size_t>(g + j - first)];
            const int phase = j + reach;
            const double c = cover[static_cast<size_t>(phase)];
            if (!e.Empty() && c > 0) {
                strokes.push_back({SnapDevice(e.top, width, true) - half,
                                   SnapDevice(e.bottom, width, true) + half, c});
            }
        }
        const ColumnRows r = RowsOf(strokes, clip);
        if (r.from > r.to)
            continue;
        auto edges = [&](int from, int to) {
            for (int y = from; y <= to; ++y) {
                // Cover 0 and 255 come out right without a test.
                Over(pixel(x, y), ByteMul(colour, CoverAt(strokes, y)));
            }
        };
        if (r.fullFrom > r.fullTo) {
            edges(r.from, r.to);
            continue;
        }
        edges(r.from, r.fullFrom - 1);
        if (opaque) {
            for (int y = r.fullFrom; y <= r.fullTo; ++y) pixel(x, y) = colour;
        } else {
            for (int y = r.fullFrom; y <= r.fullTo; ++y) Over(pixel(x, y), colour);
        }
        edges(r.fullTo + 1, r.to);
    }
}

// The last reduction of a chart: valid while the view, the device columns
// and the run's first point stay; points appended since are folded in from
// the last column on.
struct ReductionCache {
    ViewMapping mapping;
    DeviceColumns device;
    size_t base = 0;   // index of the run's first point in the chart
    size_t count = 0;  // points of the run reduced
    std::vector<ColumnSpan> spans;
};

bool SameView(const ReductionCache& c, const ViewMapping& m, const DeviceColumns& d, size_t base) {
    return c.mapping.originX == m.originX && c.mapping.originY == m.originY &&
           c.mapping.scaleX == m.scaleX && c.mapping.scaleY == m.scaleY &&
           c.device.scale == d.scale && c.device.offset == d.offset && c.base == base;
}

size_t g_wholeReductions = 0;

// A view that follows live data moves by whole device columns: the columns it
// still shows keep their reduction, moved by as many columns; those of the
// points that left on the left are dropped, and the column the run now starts
// in is reduced anew. False where that does not apply (any other change of
// the view, a shift of part of a column, a run that lost points at its end,
// columns clamped at the pixel limit whose place the shift cannot tell).
bool ShiftCache(ReductionCache& c, const chart::ChartSeries& chart, chart::PointRun run,
                const ViewMapping& m, const DeviceColumns& d) {
    if (c.mapping.originY != m.originY || c.mapping.scaleX != m.scaleX ||
        c.mapping.scaleY != m.scaleY || c.device.scale != d.scale || c.device.offset != d.offset)
        return false;
    const double shift = (m.originX - c.mapping.originX) * d.scale;
    const double k = std::round(shift);
    if (std::abs(shift - k) > 1e-6 || std::abs(k) >= kPixelLimit)
        return false;
    const size_t base = run.First();
    if (base < c.base || base - c.base >= c.count || c.count - (base - c.base) > run.size())
        return false;
    const size_t dropped = base - c.base;
    auto kept = std::find_if(c.spans.begin(), c.spans.end(),
                             [&](const ColumnSpan& s) { return s.start >= dropped; });
    if (kept == c.spans.end())
        return false;
    auto clamped = [&](const ColumnSpan& s) {
        return std::abs(s.x) >= kPixelLimit - 1 || std::abs(s.x + k / d.scale) >= kPixelLimit - 1;
    };
    if (clamped(*kept) || clamped(c.spans.back()))
        return false;
    const size_t head = kept->start - dropped;
    std::vector<ColumnSpan> spans =
        head > 0 ? ReduceColumns(chart, run.subspan(0, head), m, d.scale, d.offset)
                 : std::vector<ColumnSpan>{};
    spans.reserve(spans.size() + static_cast<size_t>(c.spans.end() - kept));
    for (auto it = kept; it != c.spans.end(); ++it) {
        ColumnSpan s = *it;
        s.start -= dropped;
        s.column += static_cast<long long>(k);
        s.x = d.Centre(static_cast<double>(s.column));
        spans.push_back(s);
    }
    c.spans = std::move(spans);
    c.mapping = m;
    c.base = base;
    c.count -= dropped;
    return true;
}

const std::vector<ColumnSpan>& CachedColumns(const chart::ChartSeries& chart, chart::PointRun run,
                                             const ViewMapping& mapping,
                                             const DeviceColumns& device) {
    const size_t base = run.First();
    auto cache = std::static_pointer_cast<ReductionCache>(chart.drawCache.value);
    if (cache && !cache->spans.empty() && !SameView(*cache, mapping, device, base))
        ShiftCache(*cache, chart, run, mapping, device);
    if (cache && SameView(*cache, mapping, device, base) && !cache->spans.empty() &&
        cache->count <= run.size()) {
        if (cache->count < run.size()) {
            const size_t from = cache->spans.back().start;
            cache->spans.pop_back();
            for (ColumnSpan span :
                 ReduceColumns(chart, run.subspan(from), mapping, device.scale, device.offset)) {
                span.start += from;
                cache->spans.push_back(span);
            }
            cache->count = run.size();
        }
        return cache->spans;
    }
    ++g_wholeReductions;
    cache = std::make_shared<ReductionCache>();
    cache->mapping = mapping;
    cache->device = device;
    cache->base = base;
    cache->count = run.size();
    cache->spans = ReduceColumns(chart, run, mapping, device.scale, device.offset);
    chart.drawCache.value = cache;
    return cache->spans;
}

CurveDrawing DrawDense(QPainter& painter, const chart::ChartSeries& chart, chart::PointRun run,
                       const ViewMapping& mapping, const DeviceColumns& device) {
    const std::optional<DirectTarget> target = DirectTargetOf(painter);
    if (chart.dashStyle == 0 && target) {
        // At a whole device pixel ratio, a curve of whole logical pixels is
        // reduced per logical column and stroked at device resolution: a pen
        // of n logical pixels then covers n whole device pixel columns
        // instead of fringes on both sides, and a pan or zoom reduces half
        // the columns.
        const int group = GroupWidth(device);
        const DeviceColumns columns{device.scale / group, device.offset / group};
        const std::vector<ColumnSpan>& spans = CachedColumns(chart, run, mapping, columns);
        const qreal width = LineWidth(chart, target->yScale);
        PaintColumns(*target, spans, width, chart.color, group);
        if (chart.selected)
            PaintColumns(*target, spans, width + 6.0, HighlightColor(chart.color), group);
        return CurveDrawing::kColumns;
    }
    // A dash pattern must run along the line, which columns cannot show.
    const std::vector<QPointF> pixels =
        ReduceToColumns(chart, run, mapping, device.scale, device.offset);
    const qreal scale = DeviceScale(painter);
    StrokeStraight(painter, pixels, CurvePen(chart, scale));
    if (chart.selected)
        StrokeStraight(painter, pixels, HighlightPen(chart, scale));
    return CurveDrawing::kReducedLines;
}

CurveDrawing DrawLine(QPainter& painter, const chart::ChartSeries& chart, chart::PointRun run,
                      const ViewMapping& mapping, const VisibleRange& range) {
    const DeviceColumns device = ColumnsOf(painter);
    // Only the columns the run covers inside the view count.
    const double left = std::max(mapping.PixelX(run.front().x), mapping.PixelX(range.left));
    const double right = std::min(mapping.PixelX(run.back().x), mapping.PixelX(range.right));
    const double columns = std::max(0.0, right - left) * device.scale;
    if (UseColumnReduction(run.size(), columns, chart.tension))
        return DrawDense(painter, chart, run, mapping, device);
    const qreal scale = DeviceScale(painter);
    std::vector<QPointF> pixels = ToPixelPoints(run, mapping);
    SnapToDevicePixels(pixels, painter.deviceTransform(), LineWidth(chart, scale),
                       painter.testRenderHint(QPainter::Antialiasing));
    StrokeCurve(painter, pixels, chart.tension, CurvePen(chart, scale));
    if (chart.selected)
        StrokeCurve(painter, pixels, chart.tension, HighlightPen(chart, scale));
    return CurveDrawing::kLines;
}

}  // namespace

QPen ChartPen(uint32_t argb, qreal width, int dashStyle) {
    static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                               Qt::DashDotLine, Qt::DashDotDotLine};
    const Qt::PenStyle style = dashStyle >= 0 && dashStyle < 5 ? kStyles[dashStyle] : Qt::SolidLine;
    return QPen(Argb(argb), width, style, Qt::FlatCap, Qt::BevelJoin);
}

QPointF SnapToDevicePixels(QPointF point, const QTransform& device, qreal width, bool antialiased) {
    if (device.type() > QTransform::TxScale || device.m11() <= 0 || device.m22() <= 0)
        return point;
    const double sx = device.m11(), sy = device.m22(), dx = device.dx(), dy = device.dy();
    const double x = point.x() * sx + dx, y = point.y() * sy + dy;
    if (!std::isfinite(x) || !std::isfinite(y))
        return point;
    return {(SnapDevice(x, width * sx, antialiased) - dx) / sx,
            (SnapDevice(y, width * sy, antialiased) - dy) / sy};
}

void SnapToDevicePixels(std::span<QPointF> points, const QTransform& device, qreal width,
                        bool antialiased) {
    for (QPointF& p : points) p = SnapToDevicePixels(p, device, width, antialiased);
}

qreal CappedPenWidth(qreal width, qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    if (std::isnan(width) || width < 0)
        return 0;  // Qt's cosmetic pen: one device pixel
    return std::min(width, kMaxPenDevicePixels / ratio);
}

uint32_t HighlightColor(uint32_t argb) {
    return (argb & 0x00FFFFFFu) | 0x40000000u;
}

std::vector<QPointF> ToPixelPoints(chart::PointRun points, const ViewMapping& mapping) {
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

size_t WholeReductionCount() {
    return g_wholeReductions;
}

std::vector<ColumnSpan> ReduceColumns(const chart::ChartSeries& chart, chart::PointRun run,
                                      const ViewMapping& mapping, double devicePixelRatio,
                                      double deviceOffset) {
    const DeviceColumns device{devicePixelRatio > 0 ? devicePixelRatio : 1.0, deviceOffset};
    const size_t base = run.First();
    auto columnOf = [&](double x) { return device.Column(ClampPixel(mapping.PixelX(x))); };
    auto pixelY = [&](double y) { return ClampPixel(mapping.PixelY(y)); };
    std::vector<ColumnSpan> spans;
    size_t i = 0, previousCount = 0;
    while (i < run.size()) {
        const size_t start = i;
        const double column = columnOf(run[start].x);
        // Every point whose column is this one; the test uses the very
        // expression that put the first of them in it, so bins never disagree.
        // Columns hold about as many points as their neighbours, so the last
        // one's count says where to look, and where the column four columns
        // on ends is known well enough to ask for its memory now: the wait
        // for it overlaps with the work of the columns between.
        i = chart.FirstFailing(
                base + start + 1, [&](double x) { return columnOf(x) <= column; },
                base + start + previousCount) -
            base;
        i = std::min(i, run.size());
        previousCount = i - start;
        chart.Prefetch(base + i + 4 * previousCount);
        const YExtent e = chart.YExtentOf(base + start, base + i);
        if (!(e.min <= e.max))
            continue;  // nothing but NaN here
        const double first = run[start].y, last = run[i - 1].y;
        ColumnSpan span;
        span.x = device.Centre(column);
        span.column = static_cast<long long>(column);
        span.start = start;
        span.top = pixelY(e.max);
        span.bottom = pixelY(e.min);
        span.first = std::isfinite(first) ? pixelY(first) : span.bottom;
        span.last = std::isfinite(last) ? pixelY(last) : span.bottom;
        spans.push_back(span);
    }
    return spans;
}

std::vector<QPointF> ReduceToColumns(const chart::ChartSeries& chart, chart::PointRun run,
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

CurveDrawing DrawChartCurve(QPainter& painter, const chart::ChartSeries& chart,
                            const ViewMapping& mapping, const VisibleRange& range) {
    if (chart.MinY() > range.top || chart.MaxY() < range.bottom)
        return CurveDrawing::kNone;
    const chart::PointRun run = chart.GetPointRange(range.left, range.right);
    if (run.empty())
        return CurveDrawing::kNone;
    CurveDrawing drawn = CurveDrawing::kMarkers;
    painter.save();
    if (chart.dashStyle != 5 && run.size() >= 2)
        drawn = DrawLine(painter, chart, run, mapping, range);
    const QPainterPath markers = MarkerPath(chart, run, mapping);
    if (!markers.isEmpty()) {
        drawn = CurveDrawing::kMarkers;
        painter.setBrush(Qt::NoBrush);
        painter.strokePath(markers, ChartPen(chart.color, 1.0, 0));
        const bool highlight = chart.dashStyle == 5 || run.size() == 1;
        if (chart.selected && highlight)
            painter.strokePath(markers, HighlightPen(chart, DeviceScale(painter)));
    }
    painter.restore();
    return drawn;
}

bool DrawsInPart(const chart::ChartSeries& chart, CurveDrawing drawing) {
    return drawing == CurveDrawing::kColumns && chart.dashStyle == 0 && chart.tension == 0 &&
           !chart.showPoints;
}

bool RedrawsSameInPart(const chart::ChartSeries& chart, CurveDrawing drawing) {
    switch (drawing) {
        case CurveDrawing::kNone:
        case CurveDrawing::kColumns:
            return true;
        case CurveDrawing::kLines:
        case CurveDrawing::kMarkers:
            // Crosses, markers and a spline are one path each, stroked where
            // they are.
            return chart.dashStyle == 5 || chart.tension != 0 ||
                   (qAlpha(chart.color) == 255 && !chart.selected);
        case CurveDrawing::kReducedLines:
            break;
    }
    return false;
}

double CurveReach(const chart::ChartSeries& chart, qreal devicePixelRatio) {
    // The highlight is six pixels wider than the line; anti-aliasing and the
    // snap to device pixels add up to two more.
    return std::ceil(CappedPenWidth(chart.penWidth, devicePixelRatio) / 2 + 3 + 2);
}

}  // namespace chart::ui
