// The gradient button's drawing and its mouse tracking.
#include "ui/win32/gradient_button_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

namespace pelorin::ui {
namespace {

constexpr UINT_PTR kSubclassId = 0x6772;  // one per button
constexpr DWORD kHoverMs = 1;
constexpr const wchar_t* kStateProperty = L"PelorinGradientButton";

struct ButtonState {
    bool hover = false;
    bool tracking = false;
};

struct Pens {
    HPEN frame;
    std::array<HPEN, 4> warm;
    std::array<HPEN, 4> cool;
    Pens() {
        frame = CreatePen(PS_INSIDEFRAME, 1, RGB(0, 0, 0));
        warm = {CreatePen(PS_INSIDEFRAME, 3, RGB(250, 196, 88)),
                CreatePen(PS_INSIDEFRAME, 3, RGB(251, 202, 106)),
                CreatePen(PS_INSIDEFRAME, 2, RGB(252, 210, 121)),
                CreatePen(PS_INSIDEFRAME, 2, RGB(229, 151, 0))};
        cool = {CreatePen(PS_INSIDEFRAME, 3, RGB(153, 198, 252)),
                CreatePen(PS_INSIDEFRAME, 3, RGB(162, 189, 252)),
                CreatePen(PS_INSIDEFRAME, 2, RGB(162, 201, 255)),
                CreatePen(PS_INSIDEFRAME, 2, RGB(162, 201, 255))};
    }
    ~Pens() {
        DeleteObject(frame);
        for (HPEN p : warm) DeleteObject(p);
        for (HPEN p : cool) DeleteObject(p);
    }
};

// Made on first use, for the program's life.
const Pens& SharedPens() {
    static const Pens pens;
    return pens;
}

void DrawBackground(HDC dc, const RECT& inner, bool hover, bool emphasised) {
    std::array<HBRUSH, 64> brushes;
    for (int i = 0; i < 64; ++i)
        brushes[size_t(i)] = CreateSolidBrush(GradientColour(i, hover, emphasised));
    const int height = inner.bottom - inner.top;
    for (int y = inner.top; y < inner.bottom; ++y) {
        const RECT row = {inner.left, y, inner.right, y + 1};
        FillRect(dc, &row, brushes[size_t(GradientBrushIndex(y, height))]);
    }
    for (HBRUSH b : brushes) DeleteObject(b);
}

void DrawBorder(HDC dc, const RECT& r, bool focused, bool hover) {
    const auto& pens = (focused && !hover) ? SharedPens().cool : SharedPens().warm;
    POINT was;
    MoveToEx(dc, 0, 0, &was);
    const HGDIOBJ oldPen = SelectObject(dc, pens[0]);
    MoveToEx(dc, r.left, r.bottom - 1, nullptr);
    LineTo(dc, r.left, r.top + 1);
    SelectObject(dc, pens[1]);
    MoveToEx(dc, r.right - 1, r.bottom - 1, nullptr);
    LineTo(dc, r.right - 1, r.top);
    SelectObject(dc, pens[2]);
    MoveToEx(dc, r.left - 1, r.top, nullptr);
    LineTo(dc, r.right - 1, r.top);
    SelectObject(dc, pens[3]);
    MoveToEx(dc, r.left, r.bottom, nullptr);
    LineTo(dc, r.right - 1, r.bottom);
    SelectObject(dc, oldPen);
    MoveToEx(dc, was.x, was.y, nullptr);
    if (focused && !hover) DrawFocusRect(dc, &r);
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* state = reinterpret_cast<ButtonState*>(ref);
    switch (msg) {
        case WM_MOUSEMOVE:
            if (!state->tracking) {
                TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, hwnd, kHoverMs};
                state->tracking = _TrackMouseEvent(&track) != FALSE;
            }
            break;
        case WM_MOUSEHOVER:
            state->hover = true;
            InvalidateRect(hwnd, nullptr, TRUE);
            break;
        case WM_MOUSELEAVE:
            state->hover = false;
            state->tracking = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, ButtonProc, kSubclassId);
            RemovePropW(hwnd, kStateProperty);
            delete state;
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

int GradientBrushIndex(int y, int height) {
    if (height <= 0) return 63;
    return std::min(63, 63 * y / height);
}

COLORREF GradientColour(int index, bool hover, bool emphasised) {
    const int a = hover ? 4 : 3;
    const int b = hover ? (emphasised ? 3 : 5) : (emphasised ? 4 : 5);
    const int rg = 255 - index / a;
    return RGB(rg, rg, 255 - index / b);
}

void AttachGradientButton(HWND button) {
    auto* state = new ButtonState;
    SetPropW(button, kStateProperty, state);
    SetWindowSubclass(button, ButtonProc, kSubclassId, reinterpret_cast<DWORD_PTR>(state));
}

bool GradientButtonHover(HWND button) {
    const auto* state = static_cast<const ButtonState*>(GetPropW(button, kStateProperty));
    return state && state->hover;
}

void DrawGradientButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const int saved = SaveDC(dc);
    wchar_t caption[261] = {};
    GetWindowTextW(item.hwndItem, caption, 261);

    RECT r = item.rcItem;
    SelectObject(dc, SharedPens().frame);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 5, 5);

    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    // The dialog's default button, which owner-drawn buttons learn from their parent.
    const HWND parent = GetParent(item.hwndItem);
    const LRESULT defId = parent ? SendMessageW(parent, DM_GETDEFID, 0, 0) : 0;
    const bool isDefault = (item.itemState & ODS_DEFAULT) ||
                           (HIWORD(defId) == DC_HASDEFID && LOWORD(defId) == item.CtlID);
    const bool emphasised = focused || pressed || isDefault;
    const bool hover = GradientButtonHover(item.hwndItem);

    InflateRect(&r, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    DrawBackground(dc, r, hover, emphasised);
    if (hover || focused) DrawBorder(dc, r, focused, hover);

    // The caption with its mnemonic: "&Download" reads "Download" with the D underlined.
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    if (font) SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    RECT measured = {0, 0, 0, 0};
    DrawTextW(dc, caption, -1, &measured, DT_CALCRECT | DT_SINGLELINE);
    const int width = measured.right - measured.left;
    const int height = measured.bottom - measured.top;
    int x = (r.left + r.right) / 2 - width / 2;
    int y = (r.top + r.bottom) / 2 - height / 2;
    if (pressed) {
        ++x;
        ++y;
    }
    UINT flags = DST_PREFIXTEXT;
    if (item.itemState & ODS_DISABLED) flags |= DSS_DISABLED;
    DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption), 0, x, y, width, height,
               flags);
    RestoreDC(dc, saved);
}

}  // namespace pelorin::ui
