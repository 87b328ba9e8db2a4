// The dialog template in memory, laid out as the dialog manager reads it.
#include "ui/win32/dialog_template_win32.h"

#include <commctrl.h>

#include "ui/win32/wide_text.h"

namespace pelorin::ui {
namespace {

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kComboAtom = 0x0085;

void Align(std::vector<WORD>& words) {
    if (words.size() % 2) words.push_back(0);  // DWORD boundary
}

void PushDword(std::vector<WORD>& words, DWORD value) {
    words.push_back(LOWORD(value));
    words.push_back(HIWORD(value));
}

void PushText(std::vector<WORD>& words, const std::wstring& text) {
    for (wchar_t c : text) words.push_back(WORD(c));
    words.push_back(0);
}

}  // namespace

ControlClass ClassOfKind(ControlKind kind) {
    constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
    switch (kind) {
        case ControlKind::Label:
            return {kStaticAtom, nullptr, SS_LEFT};
        case ControlKind::RightLabel:
            return {kStaticAtom, nullptr, SS_RIGHT};
        case ControlKind::GroupFrame:
            return {kButtonAtom, nullptr, BS_GROUPBOX};
        case ControlKind::DropDownList:
            return {kComboAtom, nullptr, kList};
        case ControlKind::SortedDropDownList:
            return {kComboAtom, nullptr, kList | CBS_SORT};
        case ControlKind::ReadOnlyEdit:
            return {kEditAtom, nullptr, ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP};
        case ControlKind::ReadOnlyMultiLineEdit:
            return {kEditAtom, nullptr,
                    ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_WANTRETURN | WS_VSCROLL |
                        WS_BORDER | WS_TABSTOP};
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton:
            return {kButtonAtom, nullptr, BS_OWNERDRAW | WS_TABSTOP};
        case ControlKind::ProgressBar:
            return {0, PROGRESS_CLASSW, WS_BORDER};
        case ControlKind::Icon:
            return {kStaticAtom, nullptr, SS_ICON};
        case ControlKind::LinkLabel:
            return {kStaticAtom, nullptr, SS_LEFT | SS_NOTIFY};
    }
    return {kStaticAtom, nullptr, SS_LEFT};
}

std::vector<WORD> BuildDialogTemplate(const DialogTemplate& dialog, bool minimiseBox) {
    std::vector<WORD> w;
    PushDword(w, DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                     (minimiseBox ? WS_MINIMIZEBOX : 0));
    PushDword(w, 0);  // extended style
    w.push_back(WORD(dialog.controls.size()));
    w.push_back(0);  // x, y: DS_CENTER places it
    w.push_back(0);
    w.push_back(WORD(dialog.width));
    w.push_back(WORD(dialog.height));
    w.push_back(0);  // no menu
    w.push_back(0);  // the dialog class
    PushText(w, Widen(dialog.caption));
    w.push_back(kDialogFontPoints);
    PushText(w, kDialogFontName);

    for (const ControlEntry& c : dialog.controls) {
        Align(w);
        const ControlClass cls = ClassOfKind(c.kind);
        DWORD style = WS_CHILD | WS_VISIBLE | cls.style;
        if (c.disabled) style |= WS_DISABLED;
        PushDword(w, style);
        PushDword(w, 0);
        w.push_back(WORD(c.place.x));
        w.push_back(WORD(c.place.y));
        w.push_back(WORD(c.place.width));
        w.push_back(WORD(c.place.height));
        w.push_back(WORD(c.id));  // -1 becomes 0xFFFF, the dialog manager's IDC_STATIC
        if (cls.atom) {
            w.push_back(0xFFFF);
            w.push_back(cls.atom);
        } else {
            PushText(w, cls.name);
        }
        if (c.kind == ControlKind::Icon) {
            w.push_back(0xFFFF);
            w.push_back(kAppIconResource);
        } else {
            PushText(w, Widen(c.text));
        }
        w.push_back(0);  // no creation data
    }
    return w;
}

}  // namespace pelorin::ui
