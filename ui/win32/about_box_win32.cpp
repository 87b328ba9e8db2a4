// The About box and its link label.
#include "ui/win32/about_box_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "config/version.h"
#include "ui/dialog/about_template.h"
#include "ui/dialog/control_ids.h"
#include "ui/url_open.h"
#include "ui/win32/dialog_template_win32.h"
#include "ui/win32/gradient_button_win32.h"
#include "ui/win32/wide_text.h"

namespace pelorin::ui {
namespace {

constexpr UINT_PTR kLinkSubclassId = 0x6c6b;
constexpr UINT_PTR kHoverTimer = 100;
constexpr UINT kHoverTimerMs = 100;

struct Link {
    const AboutBoxOptions* options = nullptr;
    std::string url;
    HFONT normal = nullptr;
    HFONT underlined = nullptr;
    bool hovering = false;
    bool visited = false;
    HWND toolTip = nullptr;
};

struct Box {
    const AboutBoxOptions* options;
    Link link;
};

void FitToText(HWND label, HFONT font) {
    wchar_t text[512];
    GetWindowTextW(label, text, 512);
    HDC dc = GetDC(label);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, int(wcslen(text)), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT window, client;
    GetWindowRect(label, &window);
    GetClientRect(label, &client);
    const int width = size.cx + (window.right - window.left) - client.right;
    const int height = size.cy + (window.bottom - window.top) - client.bottom;
    SetWindowPos(label, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Click(HWND label, Link& link) {
    link.hovering = false;
    const int result = link.options->openUrl ? link.options->openUrl(link.url, kShowNormal)
                                             : OpenUrl(link.url, kShowNormal);
    if (result > kOpenSucceededAbove) {
        link.visited = true;
        InvalidateRect(label, nullptr, TRUE);
        return;
    }
    MessageBeep(MB_ICONEXCLAMATION);
    const std::string text = "Unable to open hyperlink:\n\n" + OpenErrorText(result);
    MessageBoxW(GetParent(label), Widen(WithCrLf(text)).c_str(),
                Widen(link.options->programName).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

LRESULT CALLBACK LinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto& link = *reinterpret_cast<Link*>(ref);
    switch (msg) {
        case WM_MOUSEMOVE:
            if (!link.hovering) {
                link.hovering = true;
                SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(link.underlined), TRUE);
                SetTimer(hwnd, kHoverTimer, kHoverTimerMs, nullptr);
            }
            break;
        case WM_TIMER:
            if (wp == kHoverTimer) {
                POINT p;
                GetCursorPos(&p);
                ScreenToClient(hwnd, &p);
                RECT client;
                GetClientRect(hwnd, &client);
                if (!PtInRect(&client, p)) {
                    link.hovering = false;
                    KillTimer(hwnd, kHoverTimer);
                    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(link.normal), TRUE);
                }
                return 0;
            }
            break;
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_DESTROY:
            KillTimer(hwnd, kHoverTimer);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, LinkProc, kLinkSubclassId);
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void AttachLink(HWND label, Link& link) {
    link.url = kMakerUrl;
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW description{};
    GetObjectW(font, sizeof description, &description);
    link.normal = CreateFontIndirectW(&description);
    description.lfUnderline = TRUE;
    link.underlined = CreateFontIndirectW(&description);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(link.normal), FALSE);
    FitToText(label, link.underlined);
    SetWindowSubclass(label, LinkProc, kLinkSubclassId, reinterpret_cast<DWORD_PTR>(&link));

    link.toolTip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   GetParent(label), nullptr, GetModuleHandleW(nullptr), nullptr);
    std::wstring tip = Widen(link.url);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = label;
    tool.uId = 1;
    GetClientRect(label, &tool.rect);
    tool.lpszText = tip.data();
    if (link.toolTip) SendMessageW(link.toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    auto* box = reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!box) return FALSE;
    switch (msg) {
        case WM_INITDIALOG: {
            HWND version = GetDlgItem(hwnd, kIdcAboutVersion);
            wchar_t text[256];
            GetWindowTextW(version, text, 256);
            const std::string line =
                Narrow(text) + " " + GetVersionText() + "\r\nBuild " + __DATE__ + " " + __TIME__;
            SetWindowTextW(version, Widen(line).c_str());
            AttachLink(GetDlgItem(hwnd, kIdcAboutLink), box->link);
            AttachGradientButton(GetDlgItem(hwnd, kIdOk));
            SendMessageW(hwnd, DM_SETDEFID, kIdOk, 0);
            if (box->options->onShown) PostMessageW(hwnd, WM_APP + 3, 0, 0);
            return TRUE;
        }
        case WM_APP + 3:
            box->options->onShown(hwnd);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == kIdOk || LOWORD(wp) == IDCANCEL) {
                EndDialog(hwnd, LOWORD(wp));
            } else if (LOWORD(wp) == kIdcAboutLink && HIWORD(wp) == STN_CLICKED) {
                Click(reinterpret_cast<HWND>(lp), box->link);
            }
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lp) == GetDlgItem(hwnd, kIdcAboutLink)) {
                HDC dc = reinterpret_cast<HDC>(wp);
                const Link& link = box->link;
                SetTextColor(dc, link.hovering  ? kHoverColour
                                 : link.visited ? kVisitedColour
                                                : kLinkColour);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item->CtlType != ODT_BUTTON) return FALSE;
            DrawGradientButton(*item);
            return TRUE;
        }
    }
    return FALSE;
}

}  // namespace

void ShowAboutBox(HWND owner, const AboutBoxOptions& options) {
    Box box{&options, {}};
    box.link.options = &options;
    const std::vector<WORD> words = BuildDialogTemplate(AboutBoxTemplate(), false);
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                            reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner, AboutProc,
                            reinterpret_cast<LPARAM>(&box));
    if (box.link.toolTip) DestroyWindow(box.link.toolTip);
    if (box.link.normal) DeleteObject(box.link.normal);
    if (box.link.underlined) DeleteObject(box.link.underlined);
}

}  // namespace pelorin::ui
