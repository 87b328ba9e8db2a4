// A set-top box with an arrow loading firmware into it, on a 64 x 64 grid.
#include "app/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pelorin::app {
namespace {

QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    QLinearGradient box(0, 34, 0, 56);
    box.setColorAt(0, QColor(0x4a, 0x5f, 0x7a));
    box.setColorAt(1, QColor(0x27, 0x36, 0x4a));
    p.setBrush(box);
    p.drawRoundedRect(QRectF(4, 34, 56, 22), 4, 4);
    p.setBrush(QColor(0x1a, 0x24, 0x32));
    p.drawRoundedRect(QRectF(10, 42, 20, 6), 1.5, 1.5);
    p.setBrush(QColor(0x5f, 0xd3, 0x6b));
    p.drawEllipse(QPointF(44, 45), 2.5, 2.5);
    p.setBrush(QColor(0xf0, 0xb4, 0x3c));
    p.drawEllipse(QPointF(52, 45), 2.5, 2.5);
    QPainterPath arrow;
    arrow.moveTo(26, 4);
    for (QPointF point : {QPointF(38, 4), QPointF(38, 18), QPointF(47, 18), QPointF(32, 32),
                          QPointF(17, 18), QPointF(26, 18)})
        arrow.lineTo(point);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x1d, 0x6c, 0xae), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0x2f, 0x8f, 0xdc));
    p.drawPath(arrow);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
    return icon;
}

}  // namespace pelorin::app
