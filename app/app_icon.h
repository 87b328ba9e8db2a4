// The program's icon, drawn like icons/pelorin.svg (which the desktop uses), so the window
// needs no image format plugin.
#pragma once

#include <QIcon>

namespace pelorin::app {

QIcon AppIcon();

}  // namespace pelorin::app
