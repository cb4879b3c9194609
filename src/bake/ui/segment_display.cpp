#include "bake/ui/segment_display.h"

#include <QPainter>
#include <QPolygon>

#include "bake/ui/segment_geometry.h"

namespace bake::ui {

SegmentDisplay::SegmentDisplay(QWidget* parent) : QWidget(parent) {
    // The cached picture covers every pixel: no background erase.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ArrowCursor);
}

void SegmentDisplay::SetDigitCount(uint32_t count) {
    digitCount_ = count == 0 ? 1 : count;
    dirty_ = true;
    update();
}

void SegmentDisplay::SetColors(const QColor& background, const QColor& lit, const QColor& unlit) {
    background_ = background;
    lit_ = lit;
    unlit_ = unlit;
    dirty_ = true;
    update();
}

void SegmentDisplay::SetBlank() {
    blank_ = true;
    dirty_ = true;
    update();
}

void SegmentDisplay::SetValue(uint64_t value) {
    value_ = value;
    blank_ = false;
    dirty_ = true;
    update();
}

void SegmentDisplay::DrawPicture(QImage& image) const {
    QPainter p(&image);
    p.fillRect(image.rect(), background_);
    p.setPen(Qt::NoPen);
    for (const bake::ui::Polygon& poly :
         bake::ui::LayoutDisplay(image.width(), image.height(), digitCount_, value_, blank_)) {
        QPolygon q(poly.count);
        for (int i = 0; i < poly.count; ++i) q.setPoint(i, poly.points[i].x, poly.points[i].y);
        p.setBrush(poly.lit ? lit_ : unlit_);
        p.drawPolygon(q);
    }
}

QImage SegmentDisplay::Render(const QSize& size) const {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    DrawPicture(image);
    return image;
}

void SegmentDisplay::paintEvent(QPaintEvent*) {
    // The segments are laid out in device pixels, so that their edges stay
    // sharp on a high-density screen instead of being scaled up.
    const qreal ratio = devicePixelRatioF();
    const QSize devicePixels = (QSizeF(size()) * ratio).toSize();
    if (cache_.isNull() || cache_.size() != devicePixels) {
        cache_ = QImage(devicePixels, QImage::Format_ARGB32_Premultiplied);
        dirty_ = true;
    }
    if (dirty_) {
        cache_.setDevicePixelRatio(1.0);
        DrawPicture(cache_);
        ++renderCount_;
    }
    cache_.setDevicePixelRatio(ratio);
    dirty_ = false;
    QPainter(this).drawImage(0, 0, cache_);
}

}  // namespace bake::ui
