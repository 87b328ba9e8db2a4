// The platform's focus rectangle: a dotted frame that inverts what lies under it, so it shows
// on any background and a second drawing takes it away.
#pragma once

#include <QPainter>
#include <QRect>

namespace pelorin::ui {

// Inverts every other pixel of the frame of `rect`, starting with its top-left corner.
void DrawFocusRect(QPainter& painter, const QRect& rect);

}  // namespace pelorin::ui
