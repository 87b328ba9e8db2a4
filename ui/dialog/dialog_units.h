// Dialog units to pixels: a horizontal unit is a quarter of the font's average character
// width, a vertical unit an eighth of its character height. Places in the template thus scale
// with the font, as on the platform the template was drawn for.
#pragma once

namespace pelorin::ui {

struct DialogBaseUnits {
    int x = 1;  // average character width in pixels
    int y = 1;  // character height in pixels
};

// value * numerator / denominator, rounded to the nearest integer.
int MulDivRound(int value, int numerator, int denominator);

int DluToPixelsX(int dlu, DialogBaseUnits base);
int DluToPixelsY(int dlu, DialogBaseUnits base);

}  // namespace pelorin::ui
