// The Windows view of the main window.
#include "ui/win32/dialog_view_win32.h"

#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>

#include <vector>

#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/win32/dialog_template_win32.h"
#include "ui/win32/gradient_button_win32.h"
#include "ui/win32/wide_text.h"

namespace pelorin::ui {
namespace {

constexpr UINT_PTR kTimerBase = 0x100;  // the logic's timer n is the window's timer 0x100 + n
constexpr UINT_PTR kEditorSubclassId = 0x6564;
constexpr int kStatusMarkWidth = 60;

// The dialog whose loop runs on this thread, for the message filter.
thread_local DialogViewWin32* t_running = nullptr;
thread_local HHOOK t_filter = nullptr;

// Sees every message of the dialog's loop before the dialog manager does: F1 opens the About
// box, and no key-down of Escape reaches a control or the dialog, so Escape never closes it.
LRESULT CALLBACK MessageFilter(int code, WPARAM wp, LPARAM lp) {
    const MSG* msg = reinterpret_cast<const MSG*>(lp);
    DialogViewWin32* view = t_running;
    if (code == MSGF_DIALOGBOX && view && msg->message == WM_KEYDOWN &&
        (msg->hwnd == view->Window() || IsChild(view->Window(), msg->hwnd))) {
        if (msg->wParam == VK_ESCAPE) return TRUE;
        if (msg->wParam == VK_F1) {
            view->Post([view] { view->HelpKey(); });
            return TRUE;
        }
    }
    return CallNextHookEx(t_filter, code, wp, lp);
}

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(size_t(length) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

EditorKey KeyOf(WPARAM vk) {
    switch (vk) {
        case 'P':
            return EditorKey::P;
        case 'L':
            return EditorKey::L;
        case 'R':
            return EditorKey::R;
        case VK_RETURN:
            return EditorKey::Enter;
        default:
            return EditorKey::Other;
    }
}

bool IsModifier(WPARAM vk) {
    return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || vk == VK_CAPITAL ||
           vk == VK_LWIN || vk == VK_RWIN;
}

}  // namespace

DialogViewWin32::DialogViewWin32(const DialogTemplate& dialog) : dialog_(dialog) {}

DialogViewWin32::~DialogViewWin32() {
    if (icon_) DestroyIcon(icon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
}

INT_PTR DialogViewWin32::Run(HWND owner) {
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS |
                                                  ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    const std::vector<WORD> words = BuildDialogTemplate(dialog_);
    DialogViewWin32* const outer = t_running;
    HHOOK const outerFilter = t_filter;
    t_running = this;
    t_filter = SetWindowsHookExW(WH_MSGFILTER, MessageFilter, nullptr, GetCurrentThreadId());
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(words.data()), owner,
        DialogProc, reinterpret_cast<LPARAM>(this));
    if (t_filter) UnhookWindowsHookEx(t_filter);
    t_running = outer;
    t_filter = outerFilter;
    return result;
}

void DialogViewWin32::HelpKey() {
    if (events_) events_->OnHelpKey();
}

void DialogViewWin32::Post(std::function<void()> call) {
    {
        std::lock_guard lock(deferredMutex_);
        deferred_.push_back(std::move(call));
    }
    std::lock_guard lock(windowMutex_);
    if (postTarget_) PostMessageW(postTarget_, kDeferMessage, 0, 0);
}

void DialogViewWin32::PostingSink::Post(uint32_t id, uint64_t wParam, int64_t lParam) {
    std::lock_guard lock(view_.windowMutex_);
    if (view_.postTarget_) PostMessageW(view_.postTarget_, id, WPARAM(wParam), LPARAM(lParam));
}

void DialogViewWin32::PostingSink::Beep() {
    std::lock_guard lock(view_.windowMutex_);
    if (view_.postTarget_) PostMessageW(view_.postTarget_, kBeepWindowMessage, 0, 0);
}

INT_PTR CALLBACK DialogViewWin32::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        auto* view = reinterpret_cast<DialogViewWin32*>(lp);
        view->hwnd_ = hwnd;
        {
            std::lock_guard lock(view->windowMutex_);
            view->postTarget_ = hwnd;
        }
    }
    auto* view = reinterpret_cast<DialogViewWin32*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return view ? view->Handle(msg, wp, lp) : FALSE;
}

LRESULT CALLBACK DialogViewWin32::EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                             DWORD_PTR ref) {
    auto* view = reinterpret_cast<DialogViewWin32*>(ref);
    if (msg == WM_KEYDOWN && view->events_ && !IsModifier(wp)) {
        const bool control = GetKeyState(VK_CONTROL) < 0;
        if (view->events_->OnEditorKey(KeyOf(wp), control)) {
            // The dialog's loop has translated the key already: its character waits in the
            // queue and must not reach the edit either.
            MSG pending;
            PeekMessageW(&pending, hwnd, WM_CHAR, WM_CHAR, PM_REMOVE);
            return 0;
        }
    } else if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, EditorProc, kEditorSubclassId);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void DialogViewWin32::InitControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    icon_ =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconResource),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    if (icon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    if (smallIcon_)
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

    for (const ControlEntry& c : dialog_.controls) {
        if (c.id == kIdcStatic) continue;
        HWND control = Control(c.id);
        for (std::string_view item : c.items) InsertItem(c.id, ItemCount(c.id), std::string(item));
        if (c.kind == ControlKind::PushButton || c.kind == ControlKind::DefaultPushButton)
            AttachGradientButton(control);
        if (c.kind == ControlKind::DefaultPushButton) SendMessageW(hwnd_, DM_SETDEFID, c.id, 0);
        if (c.kind == ControlKind::ReadOnlyMultiLineEdit)
            SetWindowSubclass(control, EditorProc, kEditorSubclassId,
                              reinterpret_cast<DWORD_PTR>(this));
    }
    if (&dialog_ == &MainWindowTemplate()) {
        statusBar_ =
            CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                            reinterpret_cast<HMENU>(INT_PTR(kIdcStatusBar)), instance, nullptr);
        int parts[2] = {kStatusMarkWidth, -1};
        SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        SetStatusPart(0, "<Config>");
        DragAcceptFiles(hwnd_, TRUE);
    }
}

INT_PTR DialogViewWin32::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= kFirstWorkerMessage && msg <= kLastWorkerMessage) {
        if (events_) events_->Dispatch(msg, wp, lp);
        return TRUE;
    }
    switch (msg) {
        case WM_INITDIALOG: {
            InitControls();
            if (events_) events_->OnInitDialog();
            if (events_ && events_->AboutOffered()) {
                HMENU menu = GetSystemMenu(hwnd_, FALSE);
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuW(menu, MF_STRING, kAboutCommand, L"&About Me...");
            }
            if (onShown_) Defer([this] { onShown_(hwnd_); });
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wp);
            const int code = HIWORD(wp);
            // IDOK and IDCANCEL (Enter without a default button, Escape) end nothing here.
            if (id == IDOK || id == IDCANCEL || !events_) return TRUE;
            if (code == BN_CLICKED && lp)
                events_->OnCommand(id, Notification::Clicked);
            else if (code == CBN_SELCHANGE)
                events_->OnCommand(id, Notification::SelectionChanged);
            else if (code == EN_KILLFOCUS && id == kIdcEditor)
                events_->OnEditorFocusLost();
            return TRUE;
        }
        case WM_SYSCOMMAND:
            if ((wp & 0xFFF0) == kAboutCommand) {
                HelpKey();
                return TRUE;
            }
            if ((wp & 0xFFF0) == SC_CLOSE) {
                EndDialog(false);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(false);
            return TRUE;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (item->CtlType != ODT_BUTTON) return FALSE;
            DrawGradientButton(*item);
            return TRUE;
        }
        case WM_SIZE:
            if (statusBar_) SendMessageW(statusBar_, WM_SIZE, 0, 0);
            return FALSE;
        case WM_TIMER:
            if (wp >= kTimerBase && events_) events_->OnTimer(int(wp - kTimerBase));
            return TRUE;
        case kDeferMessage:
            RunDeferred();
            return TRUE;
        case WM_DEVICECHANGE:
            if (events_ && (wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE ||
                            wp == DBT_DEVNODES_CHANGED))
                events_->OnDevicesChanged();
            return TRUE;
        case WM_DROPFILES:
            DropFiles(reinterpret_cast<HDROP>(wp));
            return TRUE;
        case kBeepWindowMessage:
            if (events_) events_->OnBeep();
            return TRUE;
        case WM_DESTROY: {
            std::lock_guard lock(windowMutex_);
            postTarget_ = nullptr;
            return FALSE;
        }
    }
    return FALSE;
}

void DialogViewWin32::DropFiles(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0), L'\0');
        DragQueryFileW(drop, i, path.data(), UINT(path.size() + 1));
        paths.push_back(Narrow(path));
    }
    DragFinish(drop);
    if (events_) events_->OnFilesDropped(paths);
}

void DialogViewWin32::SetTaskbarProgress(TaskbarState state, int percent) {
    taskbar_.SetProgress(hwnd_, state, percent);
}

bool DialogViewWin32::IsActiveWindow() const {
    return hwnd_ && GetForegroundWindow() == hwnd_;
}

// The button flashes until the operator brings the window up; the words are on its status line.
void DialogViewWin32::NotifyOperator(const std::string&, const std::string&) {
    if (hwnd_) TaskbarButton::Flash(hwnd_);
}

// Runs what was deferred before this message; what those calls defer waits for its own.
void DialogViewWin32::RunDeferred() {
    std::deque<std::function<void()>> due;
    {
        std::lock_guard lock(deferredMutex_);
        due.swap(deferred_);
    }
    for (auto& call : due) call();
}

void DialogViewWin32::ClearItems(int id) {
    SendDlgItemMessageW(hwnd_, id, CB_RESETCONTENT, 0, 0);
}

void DialogViewWin32::InsertItem(int id, int index, const std::string& text) {
    const std::wstring wide = Widen(text);
    const bool sorted = (GetWindowLongW(Control(id), GWL_STYLE) & CBS_SORT) != 0;
    if (sorted)
        SendDlgItemMessageW(hwnd_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    else
        SendDlgItemMessageW(hwnd_, id, CB_INSERTSTRING, WPARAM(index),
                            reinterpret_cast<LPARAM>(wide.c_str()));
}

int DialogViewWin32::ItemCount(int id) const {
    const LRESULT n = SendDlgItemMessageW(hwnd_, id, CB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : int(n);
}

std::string DialogViewWin32::ItemText(int id, int index) const {
    const LRESULT length = SendDlgItemMessageW(hwnd_, id, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length < 0) return {};
    std::wstring text(size_t(length) + 1, L'\0');
    SendDlgItemMessageW(hwnd_, id, CB_GETLBTEXT, WPARAM(index),
                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(length));
    return Narrow(text);
}

int DialogViewWin32::Selection(int id) const {
    const LRESULT index = SendDlgItemMessageW(hwnd_, id, CB_GETCURSEL, 0, 0);
    return index < 0 ? -1 : int(index);
}

void DialogViewWin32::Select(int id, int index) {
    SendDlgItemMessageW(hwnd_, id, CB_SETCURSEL, WPARAM(index), 0);
}

std::string DialogViewWin32::Text(int id) const {
    return WithoutCr(Narrow(WindowText(Control(id))));
}

void DialogViewWin32::SetText(int id, const std::string& text) {
    SetWindowTextW(Control(id), Widen(WithCrLf(text)).c_str());
    if (id == kIdcStatusLine) FitStatusLine();
}

// A long ending (a port's reason) wraps upward into the free space above the line, its last
// line staying where the template puts the line, instead of being cut at the label's edge.
void DialogViewWin32::FitStatusLine() {
    HWND line = Control(kIdcStatusLine);
    RECT place{};
    GetWindowRect(line, &place);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&place), 2);
    if (statusLineBottom_ == 0) statusLineBottom_ = place.bottom;
    RECT lines{0, 0, place.right - place.left, 0};
    std::wstring text(size_t(GetWindowTextLengthW(line)) + 1, L'\0');
    GetWindowTextW(line, text.data(), int(text.size()));
    HDC dc = GetDC(line);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text.c_str(), -1, &lines, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(line, dc);
    RECT unit{0, 0, 0, 8};
    MapDialogRect(hwnd_, &unit);
    const int height = std::max<int>(lines.bottom, unit.bottom);
    SetWindowPos(line, nullptr, place.left, statusLineBottom_ - height, place.right - place.left,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogViewWin32::SetToolTip(int id, const std::string& text) {
    if (!toolTip_) {
        toolTip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!toolTip_) return;
    }
    // A static takes mouse messages, which the tooltip watches, only with SS_NOTIFY.
    HWND control = Control(id);
    wchar_t cls[16] = {};
    GetClassNameW(control, cls, 16);
    if (lstrcmpiW(cls, L"Static") == 0)
        SetWindowLongW(control, GWL_STYLE, GetWindowLongW(control, GWL_STYLE) | SS_NOTIFY);
    std::wstring wide = Widen(text);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();
    const bool known = !toolIds_.insert(id).second;
    SendMessageW(toolTip_, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                 reinterpret_cast<LPARAM>(&tool));
}

void DialogViewWin32::Enable(int id, bool enabled) {
    EnableWindow(Control(id), enabled);
}

bool DialogViewWin32::Enabled(int id) const {
    return IsWindowEnabled(Control(id)) != FALSE;
}

void DialogViewWin32::Show(int id, bool shown) {
    ShowWindow(Control(id), shown ? SW_SHOW : SW_HIDE);
}

void DialogViewWin32::SetBarPosition(int id, int percent) {
    SendDlgItemMessageW(hwnd_, id, PBM_SETPOS, WPARAM(percent), 0);
}

std::string DialogViewWin32::Caption() const {
    return Narrow(WindowText(hwnd_));
}

void DialogViewWin32::SetCaption(const std::string& text) {
    SetWindowTextW(hwnd_, Widen(text).c_str());
}

int DialogViewWin32::Width() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return r.right - r.left;
}

void DialogViewWin32::SetWidth(int pixels) {
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, 0, pixels, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int DialogViewWin32::DialogBaseUnitX() const {
    RECT r = {0, 0, 4, 0};
    MapDialogRect(hwnd_, &r);
    return r.right;
}

void DialogViewWin32::SetStatusPart(int part, const std::string& text) {
    if (statusBar_)
        SendMessageW(statusBar_, SB_SETTEXTW, WPARAM(part),
                     reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

void DialogViewWin32::SetReadOnly(int id, bool readOnly) {
    SendDlgItemMessageW(hwnd_, id, EM_SETREADONLY, readOnly, 0);
}

void DialogViewWin32::SetFocus(int id) {
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE);
}

void DialogViewWin32::StartTimer(int timerId, int periodMs) {
    SetTimer(hwnd_, kTimerBase + UINT_PTR(timerId), UINT(periodMs), nullptr);
}

void DialogViewWin32::StopTimer(int timerId) {
    KillTimer(hwnd_, kTimerBase + UINT_PTR(timerId));
}

void DialogViewWin32::Defer(std::function<void()> call) {
    Post(std::move(call));
}

void DialogViewWin32::Beep() {
    MessageBeep(MB_OK);
}

void DialogViewWin32::ShowAbout() {
    if (showAbout_) showAbout_(hwnd_);
}

void DialogViewWin32::EndDialog(bool accepted) {
    ::EndDialog(hwnd_, accepted ? IDOK : IDCANCEL);
}

}  // namespace pelorin::ui
