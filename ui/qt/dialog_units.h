// Dialog units to pixels, from the window font: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its character height. Places in the
// template thus scale with the font, as on the platform the template was drawn for.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "ui/dialog/dialog_template.h"

namespace pelorin::ui {

struct DialogBaseUnits {
    int x = 1;  // average character width in pixels
    int y = 1;  // character height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// value * numerator / denominator, rounded to the nearest integer.
int MulDivRound(int value, int numerator, int denominator);

int DluToPixelsX(int dlu, DialogBaseUnits base);
int DluToPixelsY(int dlu, DialogBaseUnits base);
QRect DluToPixels(const DluRect& place, DialogBaseUnits base);
QSize DluToPixels(int width, int height, DialogBaseUnits base);

}  // namespace pelorin::ui
