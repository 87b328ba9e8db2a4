// Dialog units with the font measured by the toolkit.
#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace pelorin::ui {

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    // The average width comes from the 52 letters, rounded the way the platform rounds it.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect DluToPixels(const DluRect& place, DialogBaseUnits base) {
    return {DluToPixelsX(place.x, base), DluToPixelsY(place.y, base),
            DluToPixelsX(place.width, base), DluToPixelsY(place.height, base)};
}

QSize DluToPixels(int width, int height, DialogBaseUnits base) {
    return {DluToPixelsX(width, base), DluToPixelsY(height, base)};
}

}  // namespace pelorin::ui
