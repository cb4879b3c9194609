#include "widgets/command_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "widgets/drawn_icon.h"

namespace widgets {

namespace {

const QColor kOutline(40, 40, 40);
const QColor kPaper(255, 255, 255);

void Page(QPainter& p, qreal x, qreal y, qreal w, qreal h) {
    QPainterPath path;
    path.moveTo(x, y);
    path.lineTo(x + w - 3, y);
    path.lineTo(x + w, y + 3);
    path.lineTo(x + w, y + h);
    path.lineTo(x, y + h);
    path.closeSubpath();
    p.setPen(QPen(kOutline, 1));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.drawLine(QPointF(x + w - 3, y), QPointF(x + w - 3, y + 3));
    p.drawLine(QPointF(x + w - 3, y + 3), QPointF(x + w, y + 3));
}

void TextLines(QPainter& p, qreal x, qreal y, qreal w, int n) {
    p.setPen(QPen(QColor(120, 140, 190), 1));
    for (int i = 0; i < n; ++i) p.drawLine(QPointF(x, y + 2 * i), QPointF(x + w, y + 2 * i));
}

}  // namespace

QIcon CommandIcon(CommandImage command) {
    switch (command) {
        case CommandImage::New:
            return DrawnIcon([](QPainter& p) {
                Page(p, 3.5, 1.5, 10, 13);
                p.setPen(QPen(QColor(230, 170, 0), 1.4));
                p.drawLine(QPointF(11, 9), QPointF(15, 9));
                p.drawLine(QPointF(13, 7), QPointF(13, 11));
            });
        case CommandImage::Open:
            return DrawnIcon([](QPainter& p) {
                p.setPen(QPen(kOutline, 1));
                p.setBrush(QColor(240, 200, 90));
                p.drawRect(QRectF(1.5, 4.5, 12, 9));
                p.drawRect(QRectF(1.5, 3.0, 5, 1.5));
                p.setBrush(QColor(255, 225, 130));
                QPolygonF flap;
                flap << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5)
                     << QPointF(1.5, 13.5);
                p.drawPolygon(flap);
            });
        case CommandImage::Save:
            return DrawnIcon([](QPainter& p) {
                p.setPen(QPen(kOutline, 1));
                p.setBrush(QColor(60, 90, 170));
                p.drawRect(QRectF(1.5, 1.5, 13, 13));
                p.setBrush(kPaper);
                p.drawRect(QRectF(4.5, 1.5, 7, 5));
                p.setBrush(QColor(200, 200, 200));
                p.drawRect(QRectF(4.5, 9.5, 7, 5));
            });
        case CommandImage::Copy:
            return DrawnIcon([](QPainter& p) {
                Page(p, 1.5, 1.5, 8, 10);
                TextLines(p, 3, 5, 4, 3);
                Page(p, 6.5, 4.5, 8, 10);
                TextLines(p, 8, 8, 4, 3);
            });
        case CommandImage::Print:
            return DrawnIcon([](QPainter& p) {
                Page(p, 4.5, 1.5, 7, 6);
                p.setPen(QPen(kOutline, 1));
                p.setBrush(QColor(180, 180, 180));
                p.drawRect(QRectF(1.5, 6.5, 13, 6));
                p.setBrush(kPaper);
                p.drawRect(QRectF(4.5, 10.5, 7, 4));
                p.setPen(QPen(QColor(0, 170, 0), 1.5));
                p.drawPoint(QPointF(12.5, 8.5));
            });
        case CommandImage::About:
            return DrawnIcon([](QPainter& p) {
                p.setPen(QPen(QColor(20, 60, 140), 1));
                p.setBrush(QColor(60, 120, 210));
                p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
                QFont f;
                f.setPixelSize(11);
                f.setBold(true);
                p.setFont(f);
                p.setPen(Qt::white);
                p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("?"));
            });
    }
    return QIcon();
}

QIcon ApplicationIcon() {
    return DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(230, 90, 20), 1.3));
        for (int i = 0; i < 3; ++i) {
            const qreal x = 4 + 4 * i;
            QPainterPath wave;
            wave.moveTo(x, 9);
            wave.cubicTo(x - 2, 7.5, x + 2, 5, x, 3.5);
            wave.cubicTo(x - 2, 2.5, x + 1, 1.5, x, 0.8);
            p.setBrush(Qt::NoBrush);
            p.drawPath(wave);
        }
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(0.5, 10.5, 15, 3.5), 1, 1);
        p.setBrush(QColor(90, 90, 100));
        p.drawRect(QRectF(2.5, 14, 2, 1.5));
        p.drawRect(QRectF(11.5, 14, 2, 1.5));
    });
}

}  // namespace widgets
