// A control template (ui/dialog/dialog_template.h) as the in-memory dialog template that
// DialogBoxIndirectParamW takes: the dialog's header with its font, then one item per control,
// each aligned to four bytes. Push buttons are owner-drawn (the gradient button).
#pragma once

#include <windows.h>

#include <vector>

#include "ui/dialog/dialog_template.h"

namespace pelorin::ui {

inline constexpr const wchar_t* kDialogFontName = L"MS Sans Serif";
inline constexpr WORD kDialogFontPoints = 8;
// The application icon's resource number, which Icon controls show.
inline constexpr WORD kAppIconResource = 128;

// The words of the template; pass data() to DialogBoxIndirectParamW.
// The main window has a minimise box; the About box has none.
std::vector<WORD> BuildDialogTemplate(const DialogTemplate& dialog, bool minimiseBox = true);

// The window class and style a control of `kind` gets.
struct ControlClass {
    WORD atom;  // 0x0080 button, 0x0081 edit, 0x0082 static, 0x0085 combo box; 0: use name
    const wchar_t* name;
    DWORD style;
};
ControlClass ClassOfKind(ControlKind kind);

}  // namespace pelorin::ui
