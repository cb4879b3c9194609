#include "discovery/ui/device_icons.h"

#include <QPainter>
#include <QPolygonF>
#include <QRadialGradient>

#include "widgets/drawn_icon.h"

namespace discovery::ui {

namespace {

QIcon Disc(const QColor& colour) {
    return widgets::DrawnIcon(
        [colour](QPainter& p) {
            QRadialGradient shine(QPointF(6.0, 5.5), 8.0);
            shine.setColorAt(0.0, colour.lighter(170));
            shine.setColorAt(0.45, colour);
            shine.setColorAt(1.0, colour.darker(140));
            p.setBrush(shine);
            p.setPen(QPen(colour.darker(190), 1.0));
            p.drawEllipse(QRectF(1.5, 1.5, 13.0, 13.0));
        },
        kDeviceIconSize);
}

QIcon Triangle(bool down) {
    return widgets::DrawnIcon(
        [down](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            const QPolygonF shape =
                down ? QPolygonF({QPointF(3.5, 5.5), QPointF(12.5, 5.5), QPointF(8.0, 11.0)})
                     : QPolygonF({QPointF(3.5, 10.5), QPointF(12.5, 10.5), QPointF(8.0, 5.0)});
            p.drawPolygon(shape);
        },
        kDeviceIconSize);
}

}  // namespace

QIcon DeviceIcon(int id) {
    switch (id) {
        case IDI_SORT_DOWN:
            return Triangle(true);
        case IDI_SORT_UP:
            return Triangle(false);
        case IDI_DEVICE_ONLINE:
            return Disc(QColor(0, 176, 0));
        case IDI_DEVICE_WAIT_IP:
            return Disc(QColor(220, 0, 0));
        default:
            return QIcon();
    }
}

}  // namespace discovery::ui
