// The Windows view in a real dialog under Wine, driven by its messages: controls at their
// template places, the surface's calls, the keys it keeps or passes on, the worker's posts,
// the gradient button's pixels, the About box. The logic is a recording stand-in here.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/win32/about_box_win32.h"
#include "ui/win32/dialog_view_win32.h"
#include "ui/win32/gradient_button_win32.h"
#include "ui/win32/registry_profile_win32.h"
#include "ui/win32/window_services_win32.h"

namespace pelorin::ui {
namespace {

constexpr int kScriptTimer = 99;

// Runs steps one per tick of a 10 ms timer; a step returning false is tried again at the next
// tick (at most 300 times), so posted messages are handled between steps.
class ScriptedEvents final : public IDialogEvents {
  public:
    using Step = std::function<bool()>;
    explicit ScriptedEvents(DialogViewWin32& view) : view_(view) {}

    void Add(Step step) { steps_.push_back(std::move(step)); }

    void OnInitDialog() override {
        ++inits;
        view_.StartTimer(kScriptTimer, 10);
    }
    void OnCommand(int id, Notification n) override { commands.push_back({id, n}); }
    void Dispatch(uint32_t id, uint64_t w, int64_t l) override { dispatched.push_back({id, w, l}); }
    void OnBeep() override { ++beeps; }
    void OnTimer(int id) override {
        if (id != kScriptTimer) {
            ++ticks;
            return;
        }
        if (next_ >= steps_.size()) {
            view_.StopTimer(kScriptTimer);
            view_.EndDialog(true);
            return;
        }
        if (steps_[next_]() || ++tries_ > 300) {
            EXPECT_LE(tries_, 300) << "step " << next_ << " never came true";
            ++next_;
            tries_ = 0;
        }
    }
    bool OnEditorKey(EditorKey key, bool control) override {
        keys.push_back({key, control});
        return key == EditorKey::P;
    }
    void OnEditorFocusLost() override { ++focusLost; }
    void OnHelpKey() override {
        ++helpKeys;
        if (showAboutOnHelp) view_.ShowAbout();
    }
    bool AboutOffered() const override { return true; }

    struct Command {
        int id;
        Notification n;
    };
    struct Posted {
        uint32_t id;
        uint64_t w;
        int64_t l;
    };
    struct Key {
        EditorKey key;
        bool control;
    };
    int inits = 0, beeps = 0, ticks = 0, focusLost = 0, helpKeys = 0;
    bool showAboutOnHelp = false;
    std::vector<Command> commands;
    std::vector<Posted> dispatched;
    std::vector<Key> keys;

  private:
    DialogViewWin32& view_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    int tries_ = 0;
};

RECT ClientRectOf(HWND dialog, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The button drawn into a bitmap through WM_PRINTCLIENT, as it would be on screen.
struct Printed {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    int width, height;
    explicit Printed(HWND button) {
        RECT r;
        GetClientRect(button, &r);
        width = r.right;
        height = r.bottom;
        HDC screen = GetDC(button);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(button, screen);
        old = SelectObject(dc, bitmap);
        SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    }
    ~Printed() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

// The gradient's colour at row `y` of a printed button, for its hover and emphasis.
COLORREF Expected(const Printed& p, int y, bool hover, bool emphasised) {
    const int edge = GetSystemMetrics(SM_CYEDGE);
    return GradientColour(GradientBrushIndex(y, p.height - 2 * edge), hover, emphasised);
}

TEST(DialogViewWin32, ControlsSurfaceKeysAndWorkerPosts) {
    DialogViewWin32 view;
    ScriptedEvents events(view);
    view.SetEvents(&events);
    HWND dlg = nullptr;
    int templateWidthPx = 0;
    std::atomic<bool> posted{false};
    std::thread worker;

    events.Add([&] {
        dlg = view.Window();
        EXPECT_EQ(events.inits, 1);
        // Every control at its template place (lists by their closed height).
        for (const ControlEntry& c : MainWindowTemplate().controls) {
            if (c.id == kIdcStatic) continue;
            // The dialog manager maps the place and the size each by itself.
            RECT want = {c.place.x, c.place.y, c.place.width, c.place.height};
            MapDialogRect(dlg, &want);
            want.right += want.left;
            want.bottom += want.top;
            const RECT got = ClientRectOf(dlg, view.Control(c.id));
            EXPECT_EQ(got.left, want.left) << c.id;
            EXPECT_EQ(got.top, want.top) << c.id;
            EXPECT_EQ(got.right, want.right) << c.id;
            const bool list =
                c.kind == ControlKind::DropDownList || c.kind == ControlKind::SortedDropDownList;
            if (!list) {
                EXPECT_EQ(got.bottom, want.bottom) << c.id;
            }
        }
        // A long ending wraps upward: its last line stays where the template puts the line.
        const RECT line = ClientRectOf(dlg, view.Control(kIdcStatusLine));
        view.SetText(kIdcStatusLine,
                     "COM97 (\\\\.\\COM97): port in use: another program holds the device; "
                     "close it and try again");
        const RECT wrapped = ClientRectOf(dlg, view.Control(kIdcStatusLine));
        EXPECT_EQ(wrapped.bottom, line.bottom);
        EXPECT_GT(wrapped.bottom - wrapped.top, line.bottom - line.top);
        view.SetText(kIdcStatusLine, "Cancel");
        EXPECT_EQ(ClientRectOf(dlg, view.Control(kIdcStatusLine)).top, line.top);
        RECT client;
        GetClientRect(dlg, &client);
        RECT size = {0, 0, 574, 233};
        MapDialogRect(dlg, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(view.DialogBaseUnitX() > 0, true);
        // The fixed items, the status bar and its parts.
        EXPECT_EQ(view.ItemCount(kIdcMode), 3);
        EXPECT_EQ(view.ItemText(kIdcXtal, 1), "13.5 MHz");
        EXPECT_FALSE(view.Enabled(kIdcSdramMode));
        HWND status = view.Control(kIdcStatusBar);
        EXPECT_NE(status, nullptr);
        int parts[2] = {};
        EXPECT_EQ(SendMessageW(status, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts)), 2);
        EXPECT_EQ(parts[0], 60);
        wchar_t mark[32] = {};
        SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(mark));
        EXPECT_STREQ(mark, L"<Config>");
        // The About item, the caption, the default button.
        HMENU menu = GetSystemMenu(dlg, FALSE);
        wchar_t item[64] = {};
        GetMenuStringW(menu, kAboutCommand, item, 64, MF_BYCOMMAND);
        EXPECT_STREQ(item, L"&About Me...");
        EXPECT_EQ(view.Caption(), "Pelorin");
        EXPECT_EQ(LOWORD(SendMessageW(dlg, DM_GETDEFID, 0, 0)), kIdcOperation);
        EXPECT_TRUE(GetWindowLongW(dlg, GWL_STYLE) & WS_MINIMIZEBOX);
        return true;
    });
    events.Add([&] {
        // Lists: the sorted one sorts, selection -1 is none.
        view.InsertItem(kIdcSerialPort, 0, "COM3");
        view.InsertItem(kIdcSerialPort, 1, "COM1");
        EXPECT_EQ(view.ItemText(kIdcSerialPort, 0), "COM1");
        view.Select(kIdcSerialPort, 1);
        EXPECT_EQ(view.Selection(kIdcSerialPort), 1);
        view.Select(kIdcSerialPort, -1);
        EXPECT_EQ(view.Selection(kIdcSerialPort), -1);
        view.ClearItems(kIdcSerialPort);
        EXPECT_EQ(view.ItemCount(kIdcSerialPort), 0);
        // Multi-line text crosses with "\n"; the edit holds CR LF.
        view.SetText(kIdcEditor, "[Main]\nA=1\n");
        EXPECT_EQ(view.Text(kIdcEditor), "[Main]\nA=1\n");
        EXPECT_EQ(GetWindowTextLengthW(view.Control(kIdcEditor)), 13);
        view.SetStatusPart(1, "a / b / ");
        // One tool per control, its text replaced.
        view.SetToolTip(kIdcStatusLine, "first");
        view.SetToolTip(kIdcStatusLine, "second");
        EXPECT_EQ(SendMessageW(view.ToolTip(), TTM_GETTOOLCOUNT, 0, 0), 1);
        wchar_t tip[32] = {};
        TOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.hwnd = dlg;
        tool.uId = reinterpret_cast<UINT_PTR>(view.Control(kIdcStatusLine));
        tool.lpszText = tip;
        SendMessageW(view.ToolTip(), TTM_GETTEXTW, 32, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(tip, L"second");
        view.SetBarPosition(kIdcMainProgress, 42);
        EXPECT_EQ(SendDlgItemMessageW(dlg, kIdcMainProgress, PBM_GETPOS, 0, 0), 42);
        view.SetCaption("Pelorin V2.105");
        EXPECT_EQ(view.Caption(), "Pelorin V2.105");
        // The panel toggle's narrowing leaves the chip group outside the window.
        templateWidthPx = view.Width();
        view.SetWidth(templateWidthPx - 230);
        RECT client;
        GetClientRect(dlg, &client);
        EXPECT_GE(ClientRectOf(dlg, view.Control(kIdcChipType)).left, client.right);
        EXPECT_LT(ClientRectOf(dlg, view.Control(kIdcMainPercent)).right, client.right);
        view.Show(kIdcBrowse, false);
        EXPECT_FALSE(IsWindowVisible(view.Control(kIdcBrowse)));
        view.Show(kIdcBrowse, true);
        // Clicks and choices reach the logic; Escape is dropped, Enter presses the default.
        SendMessageW(view.Control(kIdcTogglePanel), BM_CLICK, 0, 0);
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(kIdcMode, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(view.Control(kIdcMode)));
        view.SetReadOnly(kIdcEditor, false);
        view.SetFocus(kIdcEditor);
        SendDlgItemMessageW(dlg, kIdcEditor, EM_SETSEL, 13, 13);
        PostMessageW(view.Control(kIdcMode), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(dlg, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(view.Control(kIdcEditor), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(view.Control(kIdcMode), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(view.Control(kIdcEditor), WM_KEYDOWN, 'P', 0);
        PostMessageW(view.Control(kIdcEditor), WM_KEYDOWN, 'L', 0);
        PostMessageW(view.Control(kIdcEditor), WM_KEYDOWN, VK_F1, 0);
        view.StartTimer(3, 10);
        worker = std::thread([&] {
            view.Sink().Post(1256, 0, 'X');
            view.Sink().Post(1259, 0, 0);
            view.Sink().Beep();
            posted = true;
        });
        return true;
    });
    events.Add([&] { return posted && events.ticks >= 2 && events.dispatched.size() >= 2; });
    events.Add([&] {
        view.StopTimer(3);
        worker.join();
        EXPECT_TRUE(IsWindow(dlg)) << "Escape closed the window";
        EXPECT_EQ(events.commands.size(), 3u);
        if (events.commands.size() < 3 || events.keys.size() < 2) return true;
        EXPECT_EQ(events.commands[0].id, kIdcTogglePanel);
        EXPECT_EQ(events.commands[0].n, Notification::Clicked);
        EXPECT_EQ(events.commands[1].id, kIdcMode);
        EXPECT_EQ(events.commands[1].n, Notification::SelectionChanged);
        // Enter outside the editor presses the default button.
        EXPECT_EQ(events.commands[2].id, kIdcOperation);
        EXPECT_EQ(events.commands[2].n, Notification::Clicked);
        EXPECT_EQ(events.keys.size(), 2u);  // Escape never reached the editor
        EXPECT_EQ(events.keys[0].key, EditorKey::P);
        EXPECT_EQ(events.keys[1].key, EditorKey::L);
        // The consumed P typed nothing; the L went on to the edit.
        EXPECT_EQ(view.Text(kIdcEditor), "[Main]\nA=1\nl");
        EXPECT_EQ(events.helpKeys, 1);
        EXPECT_EQ(events.dispatched[0].id, 1256u);
        EXPECT_EQ(events.dispatched[0].l, 'X');
        EXPECT_EQ(events.dispatched[1].id, 1259u);
        EXPECT_EQ(events.beeps, 1);
        // The About item of the system menu goes the F1 way; leaving the editor is told.
        SendMessageW(dlg, WM_SYSCOMMAND, kAboutCommand, 0);
        EXPECT_EQ(events.helpKeys, 2);
        view.SetFocus(kIdcMode);
        EXPECT_EQ(events.focusLost, 1);
        int deferred = 0;
        view.Defer([&] { ++deferred; });
        EXPECT_EQ(deferred, 0);
        return true;
    });
    ASSERT_EQ(view.Run(), IDOK);
    EXPECT_FALSE(IsWindow(dlg));
}

TEST(DialogViewWin32, GradientButtonPixelsInItsFourStates) {
    DialogViewWin32 view;
    ScriptedEvents events(view);
    view.SetEvents(&events);
    events.Add([&] {
        view.SetFocus(kIdcMode);
        HWND browse = view.Control(kIdcBrowse);        // plain
        HWND operation = view.Control(kIdcOperation);  // the default button: emphasised
        const int x = GetSystemMetrics(SM_CXEDGE) + 4;
        for (bool hover : {false, true}) {
            if (hover) {
                SendMessageW(browse, WM_MOUSEHOVER, 0, 0);
                SendMessageW(operation, WM_MOUSEHOVER, 0, 0);
            }
            const Printed plain(browse);
            const Printed emphasised(operation);
            for (const Printed* p : {&plain, &emphasised}) {
                const bool emph = p == &emphasised;
                const int edge = GetSystemMetrics(SM_CYEDGE);
                // Rows clear of the border pens: the gradient runs down the button.
                for (int y : {edge + 3, p->height / 2, p->height - edge - 4})
                    EXPECT_EQ(p->At(x + 2, y), Expected(*p, y, hover, emph))
                        << "hover " << hover << " emphasised " << emph << " row " << y;
                // The rounded frame's straight part is black.
                EXPECT_EQ(p->At(p->width / 2, 0), RGB(0, 0, 0));
                // Under the mouse, the warm left border; without hover or focus, none.
                const COLORREF left = p->At(GetSystemMetrics(SM_CXEDGE), p->height / 2);
                if (hover)
                    EXPECT_EQ(left, RGB(250, 196, 88));
                else
                    EXPECT_NE(left, RGB(250, 196, 88));
            }
        }
        SendMessageW(browse, WM_MOUSELEAVE, 0, 0);
        EXPECT_FALSE(GradientButtonHover(browse));
        // Focused and not under the mouse: the cool border.
        SendMessageW(operation, WM_MOUSELEAVE, 0, 0);
        view.SetFocus(kIdcOperation);
        const Printed focused(operation);
        // (The focus rectangle inverts the inner rectangle's edge itself.)
        EXPECT_EQ(focused.At(GetSystemMetrics(SM_CXEDGE) + 1, focused.height / 2),
                  RGB(153, 198, 252));
        // "&Download" is drawn as "Download": its ink is as wide as that text.
        HDC dc = GetDC(operation);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(operation, WM_GETFONT, 0, 0)));
        SIZE plainText{}, withAmpersand{};
        GetTextExtentPoint32W(dc, L"Download", 8, &plainText);
        GetTextExtentPoint32W(dc, L"&Download", 9, &withAmpersand);
        SelectObject(dc, old);
        ReleaseDC(operation, dc);
        int first = focused.width, last = -1;
        for (int xx = 6; xx < focused.width - 6; ++xx)
            for (int y = 6; y < focused.height - 6; ++y)
                if (GetRValue(focused.At(xx, y)) < 100) {
                    first = std::min(first, xx);
                    last = std::max(last, xx);
                }
        const int ink = last - first + 1;
        EXPECT_LE(std::abs(ink - plainText.cx), 2) << "ink " << ink;
        EXPECT_GT(withAmpersand.cx - plainText.cx, 2);
        return true;
    });
    ASSERT_EQ(view.Run(), IDOK);
}

TEST(DialogViewWin32, AboutBoxFromF1WithItsLink) {
    DialogViewWin32 view;
    ScriptedEvents events(view);
    events.showAboutOnHelp = true;
    view.SetEvents(&events);
    std::vector<std::string> opened;
    std::string caption, version;
    bool linkCoolour = false;
    AboutBoxOptions options;
    options.programName = "pelorin";
    options.openUrl = [&](const std::string& url, int) {
        opened.push_back(url);
        return 42;
    };
    options.onShown = [&](HWND box) {
        wchar_t text[256] = {};
        GetWindowTextW(box, text, 256);
        caption = std::string(text, text + wcslen(text));
        GetDlgItemTextW(box, kIdcAboutVersion, text, 256);
        version = std::string(text, text + wcslen(text));
        HWND link = GetDlgItem(box, kIdcAboutLink);
        EXPECT_TRUE(GetWindowLongW(link, GWL_STYLE) & SS_NOTIFY);
        // The text colour the box gives the link, and whether its font is underlined.
        HDC dc = CreateCompatibleDC(nullptr);
        auto colour = [&] {
            SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(link));
            return GetTextColor(dc);
        };
        auto underlined = [&] {
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            return font.lfUnderline != 0;
        };
        EXPECT_EQ(colour(), kLinkColour);
        EXPECT_FALSE(underlined());
        SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
        EXPECT_EQ(colour(), kHoverColour);
        EXPECT_TRUE(underlined());
        SendMessageW(box, WM_COMMAND, MAKEWPARAM(kIdcAboutLink, STN_CLICKED),
                     reinterpret_cast<LPARAM>(link));
        EXPECT_EQ(colour(), kVisitedColour);
        DeleteDC(dc);
        linkCoolour = true;
        SendMessageW(GetDlgItem(box, 1), BM_CLICK, 0, 0);
    };
    view.SetAboutHandler([&](HWND owner) { ShowAboutBox(owner, options); });
    events.Add([&] {
        PostMessageW(view.Control(kIdcMode), WM_KEYDOWN, VK_F1, 0);
        return true;
    });
    events.Add([&] { return linkCoolour; });
    ASSERT_EQ(view.Run(), IDOK);
    EXPECT_EQ(caption, "About Downloader");
    EXPECT_EQ(version.rfind("Downloader Application V2.105\r\nBuild ", 0), 0u) << version;
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], kMakerUrl);
}

TEST(DialogViewWin32, TheCloseBoxEndsIt) {
    DialogViewWin32 view;
    ScriptedEvents events(view);
    view.SetEvents(&events);
    events.Add([&] {
        PostMessageW(view.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    events.Add([] { return false; });  // the window ends first
    EXPECT_EQ(view.Run(), IDCANCEL);
}

TEST(WindowServicesWin32, RegistryProfileFilterAndMessageBoxFlags) {
    RegistryProfile profile("pelorin-test");
    EXPECT_EQ(profile.KeyPath(),
              L"Software\\Local AppWizard-Generated Applications\\pelorin-test\\Config");
    profile.WriteInt("ChipType", 7);
    profile.WriteInt("XTAL", -1);
    EXPECT_EQ(profile.GetInt("ChipType"), 7);
    EXPECT_EQ(profile.GetInt("XTAL"), -1);
    EXPECT_EQ(profile.GetInt("MemType"), 0);
    DWORD value = 0, size = sizeof value, type = 0;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, profile.KeyPath().c_str(), L"ChipType", RRF_RT_ANY,
                           &type, &value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    RegDeleteTreeW(HKEY_CURRENT_USER,
                   L"Software\\Local AppWizard-Generated Applications\\pelorin-test");

    const std::wstring filter = CommonDialogFilter(ParseFileFilter(kFileFilter));
    EXPECT_EQ(filter, std::wstring(L"*.bin;*.dat\0*.bin;*.dat\0(All File) *.* \0*.*\0\0", 45));

    EXPECT_EQ(MessageBoxFlags({"", "Error", PromptIcon::Warning, PromptButtons::Ok}),
              UINT(MB_ICONWARNING | MB_OK));
    EXPECT_EQ(
        MessageBoxFlags({"", "Information", PromptIcon::Information, PromptButtons::YesNoCancel}),
        UINT(MB_ICONINFORMATION | MB_YESNOCANCEL | MB_DEFBUTTON3));
}

}  // namespace
}  // namespace pelorin::ui
