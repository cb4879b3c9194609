#include "widgets/drawn_icon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <utility>

namespace widgets {

namespace {

// Sizes a window manager or a file dialog picks from when the icon is asked
// which sizes it has; any other size is drawn as well.
const QList<QSize> kListedSizes = {QSize(16, 16), QSize(24, 24), QSize(32, 32),
                                   QSize(48, 48), QSize(64, 64), QSize(128, 128)};

class DrawnIconEngine : public QIconEngine {
public:
    DrawnIconEngine(std::shared_ptr<const IconDrawing> draw, int grid, quint64 serial)
        : draw_(std::move(draw)), grid_(std::max(1, grid)), serial_(serial) {}

    QIconEngine* clone() const override { return new DrawnIconEngine(draw_, grid_, serial_); }
    QString key() const override { return QStringLiteral("calvero-drawn"); }
    bool isNull() override { return false; }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::max(0, std::min(size.width(), size.height()));
        return QSize(side, side);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return kListedSizes; }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        return Picture(actualSize(size, mode, QIcon::Off).width(), 1.0, mode);
    }

    // QIcon asks with the size already in device pixels.
    QPixmap scaledPixmap(const QSize& deviceSize, QIcon::Mode mode, QIcon::State,
                         qreal scale) override {
        const qreal ratio = scale > 0 ? scale : 1.0;
        return Picture(actualSize(deviceSize, mode, QIcon::Off).width(), ratio, mode);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        const QPixmap pm = Picture(static_cast<int>(std::lround(side * ratio)), ratio, mode);
        const QPoint corner(rect.x() + (rect.width() - side) / 2,
                            rect.y() + (rect.height() - side) / 2);
        painter->drawPixmap(corner, pm);
    }

private:
    // `devicePixels` square, shown at `ratio`. Cached: views repaint their
    // icons far more often than sizes change.
    QPixmap Picture(int devicePixels, qreal ratio, QIcon::Mode mode) const {
        if (devicePixels <= 0)
            return QPixmap();
        const bool disabled = mode == QIcon::Disabled;
        const QString cacheKey = QStringLiteral("calvero-icon-%1-%2-%3-%4")
                                     .arg(serial_)
                                     .arg(devicePixels)
                                     .arg(ratio)
                                     .arg(disabled ? 1 : 0);
        QPixmap pm;
        if (!QPixmapCache::find(cacheKey, &pm)) {
            pm = Draw(devicePixels);
            if (disabled)
                pm = Greyed(pm);
            pm.setDevicePixelRatio(ratio);
            QPixmapCache::insert(cacheKey, pm);
        }
        return pm;
    }

    QPixmap Draw(int devicePixels) const {
        QPixmap pm(devicePixels, devicePixels);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(qreal(devicePixels) / grid_, qreal(devicePixels) / grid_);
        (*draw_)(p);
        return pm;
    }

    static QPixmap Greyed(const QPixmap& normal) {
        auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (!app)
            return normal;
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(QIcon::Disabled, normal, &option);
    }

    std::shared_ptr<const IconDrawing> draw_;
    int grid_;
    quint64 serial_;  // tells the drawings apart in the pixmap cache
};

}  // namespace

QIcon DrawnIcon(IconDrawing draw, int grid) {
    static std::atomic<quint64> serials{0};
    auto shared = std::make_shared<const IconDrawing>(std::move(draw));
    return QIcon(new DrawnIconEngine(std::move(shared), grid, ++serials));
}

}  // namespace widgets
