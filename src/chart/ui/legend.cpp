#include "chart/ui/legend.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

#include "chart/ui/chart_font.h"
#include "chart/ui/curve_painter.h"

namespace chart::ui {

namespace {

constexpr int kSampleWidth = 20;
constexpr int kCheckBoxWidth = 10;
constexpr int kSwatchWidth = 12;  // a 9-pixel square and a gap
constexpr int kCellMargin = 6;
constexpr uint32_t kCheckBoxFrame = 0xFF000000;
constexpr uint32_t kCheckBoxFill = 0xFF808080;

QColor Argb(uint32_t argb) {
    return QColor::fromRgba(argb);
}

QString Text(const std::wstring& s) {
    return QString::fromStdWString(s);
}

// Qt puts pixel centres at .5; a 1-pixel line through whole coordinates
// would smear over two rows, so lines are drawn half a pixel in.
void Line(QPainter& p, qreal x1, qreal y1, qreal x2, qreal y2) {
    p.drawLine(QPointF(x1 + 0.5, y1 + 0.5), QPointF(x2 + 0.5, y2 + 0.5));
}

QPen Pen1(uint32_t argb) {
    return QPen(Argb(argb), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

// Text drawn with its top-left corner at (x, y).
void TextAt(QPainter& p, const QFontMetricsF& fm, qreal x, qreal y, const QString& text) {
    p.drawText(QPointF(x, y + fm.ascent()), text);
}

}  // namespace

Legend::Legend(std::wstring titleText) : title(std::move(titleText)), font(ChartFont()) {}

QSize Legend::ImageSize() const {
    return QSize(boxRect_.width() + 1, boxRect_.height() + 1);
}

namespace {

QImage Probe(int logicalDpi) {
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    if (logicalDpi > 0) {
        const int dpm = static_cast<int>(std::lround(logicalDpi / 0.0254));
        probe.setDotsPerMeterX(dpm);
        probe.setDotsPerMeterY(dpm);
    }
    return probe;
}

}  // namespace

int Legend::ImageHeightFor(int rows, int logicalDpi) const {
    QImage probe = Probe(logicalDpi);
    const QFontMetricsF fm(font, &probe);
    return static_cast<int>(fm.height() + 9) + rows * (static_cast<int>(fm.height()) + 6) + 4 + 1;
}

void Legend::Layout(int logicalDpi) {
    QImage probe = Probe(logicalDpi);
    const QFontMetricsF fm(font, &probe);
    const int titleWidth = static_cast<int>(fm.horizontalAdvance(Text(title)) + 26);
    titleHeight_ = static_cast<int>(fm.height() + 9);
    rowHeight_ = static_cast<int>(fm.height()) + 6;

    columnWidths_.assign(static_cast<size_t>(Columns()), 0);
    int cellsWidth = 8;
    for (int c = 0; c < Columns(); ++c) {
        int width = 0;
        for (int r = 0; r < Rows(); ++r) {
            LegendLabel& cell = At(r, c);
            double content = kCheckBoxWidth;
            if (cell.kind == kLabelText) {
                content = fm.horizontalAdvance(Text(cell.text));
                cell.textWidth = static_cast<int>(content);
                if (cell.swatch)
                    content += kSwatchWidth;
            } else if (cell.kind == kLabelLineSample) {
                content = kSampleWidth;
            }
            width = std::max(width, static_cast<int>(content + kCellMargin));
        }
        columnWidths_[static_cast<size_t>(c)] = width;
        cellsWidth += width;
    }
    const int cellsHeight = Rows() * rowHeight_ + 4;
    const int w = std::max(titleWidth, cellsWidth);
    const int h = titleHeight_ + cellsHeight;
    boxRect_ = QRect(0, 0, w, h);
    cellRect_ = QRect(QPoint(0, titleHeight_ + 1), QPoint(w - 1, h - 1));
}

void Legend::Render(qreal devicePixelRatio, int logicalDpi) {
    Layout(logicalDpi);
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize device = (QSizeF(ImageSize()) * dpr).toSize();
    if (image_.size() != device)
        image_ = QImage(device, QImage::Format_ARGB32_Premultiplied);
    image_.setDevicePixelRatio(dpr);
    if (logicalDpi > 0) {
        const int dpm = static_cast<int>(std::lround(logicalDpi / 0.0254));
        image_.setDotsPerMeterX(dpm);
        image_.setDotsPerMeterY(dpm);
    }
    image_.fill(Qt::transparent);
    QPainter p(&image_);
    Paint(p);
    dirty = false;
}

void Legend::Paint(QPainter& p) const {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());
    const qreal w = boxRect_.width(), h = boxRect_.height();

    // The box with its top-right corner cut off.
    QPolygonF frame({{0, 0}, {w - 20, 0}, {w, 15}, {w, h}, {0, h}});
    frame.translate(0.5, 0.5);
    p.setPen(Pen1(kFrame));
    p.setBrush(Argb(kBackground));
    p.drawPolygon(frame);
    p.setBrush(Qt::NoBrush);
    QPainterPath clip;
    clip.addPolygon(frame);
    p.setClipPath(clip);

    p.setPen(Argb(kFrame));
    TextAt(p, fm, 6, 3, Text(title));
    p.setPen(Pen1(kFrame));
    Line(p, 0, titleHeight_ - 3, w - 10, titleHeight_ - 3);

    const int cellTop = titleHeight_ + 1;
    for (int r = 0; r < Rows(); ++r) {
        int x = 4;
        for (int c = 0; c < Columns(); ++c) {
            const int width = columnWidths_[static_cast<size_t>(c)];
            PaintCell(p, At(r, c), x, cellTop + r * rowHeight_, width);
            x += width;
        }
    }
    PaintSeparators(p);
}

void Legend::PaintCell(QPainter& p, const LegendLabel& cell, int x, int y, int width) const {
    const QFontMetricsF fm(font, p.device());
    const int halfRow = rowHeight_ / 2;  // whole pixels, as the rows are laid out
    const qreal mid = y + halfRow;
    if (cell.kind == kLabelText) {
        int tx = x + 3;
        if (cell.swatch) {
            const int side = kSwatchWidth - 3;
            const int squareTop = y + (rowHeight_ - side) / 2;
            const QRectF square(tx + 0.5, squareTop + 0.5, side - 1, side - 1);
            p.setPen(Pen1(kFrame));
            p.setBrush(Argb(cell.swatch));
            p.drawRect(square);
            p.setBrush(Qt::NoBrush);
            x += kSwatchWidth;
            width -= kSwatchWidth;
            tx += kSwatchWidth;
        }
        if (cell.align == kAlignCenter)
            tx = x + (width - cell.textWidth) / 2;
        if (cell.align == kAlignRight)
            tx = x + width - cell.textWidth - 3;
        p.setPen(Argb(cell.color));
        TextAt(p, fm, tx, y + 3, Text(cell.text));
    } else if (cell.kind == kLabelLineSample && cell.dashStyle == 5) {
        p.setPen(Pen1(cell.color));
        for (const qreal cx : {6.5, 14.5, 22.5}) {
            p.drawLine(QPointF(x + cx - 3.5, mid + 0.5), QPointF(x + cx + 3.5, mid + 0.5));
            p.drawLine(QPointF(x + cx, mid - 3.0), QPointF(x + cx, mid + 4.0));
        }
    } else if (cell.kind == kLabelLineSample) {
        // A wide pen is shown no wider than its row; a thin one on whole
        // device rows, not smeared pale over two.
        const qreal scale = p.deviceTransform().m22() > 0 ? p.deviceTransform().m22() : 1.0;
        const qreal penWidth = std::min(CappedPenWidth(cell.penWidth, scale),
                                        static_cast<qreal>(std::max(1, rowHeight_ - 6)));
        p.setPen(ChartPen(cell.color, penWidth, cell.dashStyle));
        const bool aa = p.testRenderHint(QPainter::Antialiasing);
        p.drawLine(
            SnapToDevicePixels(QPointF(x + 3, mid), p.deviceTransform(), penWidth, aa),
            SnapToDevicePixels(QPointF(x + width - 3, mid), p.deviceTransform(), penWidth, aa));
    } else if (cell.kind == kLabelCheckBox) {
        const int s = std::min(width, rowHeight_) - 6;
        const int top = y + (rowHeight_ - s) / 2;
        p.setPen(Pen1(kCheckBoxFrame));
        p.drawRect(QRectF(x + 0.5, top + 0.5, s, s));
        if (cell.checked)
            p.fillRect(QRectF(x + 2, top + 2, s - 4, s - 4), Argb(kCheckBoxFill));
    }
    if (cell.underline) {
        p.setPen(Pen1(kHighlight));
        Line(p, x, y + rowHeight_ - 3, x + width, y + rowHeight_ - 3);
    }
}

void Legend::PaintSeparators(QPainter& p) const {
    p.setPen(Pen1(kFrame));
    const int w = boxRect_.width(), h = boxRect_.height();
    const int cellTop = titleHeight_ + 1;
    // A line named by two flags is drawn once: translucent ink drawn twice darkens.
    if (Rows() > 0) {
        const int last = std::max(rowLines ? Rows() - 1 : 0, headerLine ? 1 : 0);
        for (int k = 1; k <= last; ++k)
            Line(p, 4, cellTop + k * rowHeight_, w - 4, cellTop + k * rowHeight_);
    }
    if (Columns() > 0) {
        const int last = std::max(columnLines ? Columns() - 1 : 0, firstColumnLine ? 1 : 0);
        int x = 4;
        for (int c = 0; c < last; ++c) {
            x += columnWidths_[static_cast<size_t>(c)];
            Line(p, x, cellTop, x, h - 4);
        }
    }
}

void Legend::DrawAt(QPainter& painter, QPoint position) {
    painter.drawImage(position, image_);
    position_ = position;
    shown = true;
}

BoxHit Legend::HitTest(QPoint client) const {
    BoxHit hit;
    const QPoint p = client - position_;
    if (!shown || !boxRect_.contains(p))
        return hit;
    hit.onBox = true;
    if (!cellRect_.contains(p) || p.y() > boxRect_.height() - 4 || rowHeight_ <= 0)
        return hit;
    const int row = (p.y() - cellRect_.top()) / rowHeight_;
    if (row >= Rows())
        return hit;
    int x = 4;
    for (int c = 0; c < Columns(); ++c) {
        const int width = columnWidths_[static_cast<size_t>(c)];
        if (p.x() >= x && p.x() < x + width) {
            hit.row = row;
            hit.column = c;
            return hit;
        }
        x += width;
    }
    return hit;
}

}  // namespace chart::ui
