// Dialog units of a toolkit font, and template places in the toolkit's geometry.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "ui/dialog/dialog_template.h"
#include "ui/dialog/dialog_units.h"

namespace pelorin::ui {

DialogBaseUnits BaseUnitsOf(const QFont& font);
QRect DluToPixels(const DluRect& place, DialogBaseUnits base);
QSize DluToPixels(int width, int height, DialogBaseUnits base);

}  // namespace pelorin::ui
