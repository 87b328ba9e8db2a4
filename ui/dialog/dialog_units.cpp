// Dialog units: the platform's formulas.
#include "ui/dialog/dialog_units.h"

namespace pelorin::ui {

int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

int DluToPixelsX(int dlu, DialogBaseUnits base) {
    return MulDivRound(dlu, base.x, 4);
}
int DluToPixelsY(int dlu, DialogBaseUnits base) {
    return MulDivRound(dlu, base.y, 8);
}

}  // namespace pelorin::ui
