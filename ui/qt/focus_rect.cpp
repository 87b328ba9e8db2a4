// The dotted, inverting focus frame.
#include "ui/qt/focus_rect.h"

#include <QPolygon>

namespace pelorin::ui {
namespace {

// Each frame pixel once: a corner inverted twice would vanish.
QPolygon FramePixels(const QRect& rect) {
    QPolygon pixels;
    const int left = rect.left(), top = rect.top(), right = rect.right(), bottom = rect.bottom();
    auto add = [&](int x, int y) {
        if ((x - left + y - top) % 2 == 0) pixels << QPoint(x, y);
    };
    for (int x = left; x <= right; ++x) {
        add(x, top);
        if (bottom != top) add(x, bottom);
    }
    for (int y = top + 1; y < bottom; ++y) {
        add(left, y);
        if (right != left) add(right, y);
    }
    return pixels;
}

}  // namespace

void DrawFocusRect(QPainter& painter, const QRect& rect) {
    if (rect.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawPoints(FramePixels(rect));
    painter.restore();
}

}  // namespace pelorin::ui
