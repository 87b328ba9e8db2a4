// The About box: the program's name and version.
#pragma once

#include <QWidget>

namespace pelorin::app {

// Shows the About box modally over `owner`.
void ShowAboutBox(QWidget& owner);

}  // namespace pelorin::app
