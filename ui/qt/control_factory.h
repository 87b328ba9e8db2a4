// The widget for one template entry, placed in pixels.
#pragma once

#include <QWidget>

#include "ui/dialog/dialog_template.h"
#include "ui/qt/dialog_units.h"

namespace pelorin::ui {

// Creates the control described by `entry` as a child of `parent`, with its text, items and
// place. Lists get their closed height from the font; the template's height only sets how
// many items the dropped-down part shows.
QWidget* CreateControl(const ControlEntry& entry, DialogBaseUnits base, QWidget* parent);

}  // namespace pelorin::ui
