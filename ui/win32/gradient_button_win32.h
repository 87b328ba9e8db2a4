// The gradient push button drawn with GDI: a rounded black frame, a vertical gradient of 64
// brushes filled row by row, a warm border under the mouse, a cool border and the focus
// rectangle while focused, and the caption centred with its mnemonic underlined. Buttons are
// BS_OWNERDRAW; their parent passes WM_DRAWITEM to DrawGradientButton.
#pragma once

#include <windows.h>

namespace pelorin::ui {

// The brush of gradient row `y` of an inner rectangle `height` rows high.
int GradientBrushIndex(int y, int height);
// Colour of brush `index` (0..63) for the hover and emphasised states.
COLORREF GradientColour(int index, bool hover, bool emphasised);

// Follows the mouse over `button` (hover and leave notifications) so that it draws its hover
// state; the state is released with the button.
void AttachGradientButton(HWND button);
bool GradientButtonHover(HWND button);
// Draws an owner-drawn button of WM_DRAWITEM.
void DrawGradientButton(const DRAWITEMSTRUCT& item);

}  // namespace pelorin::ui
