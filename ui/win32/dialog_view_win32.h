// The main window on Windows: a modal dialog made at run time from the control template, with
// the platform's controls, implementing the dialog logic's surface over them. What happens in
// the window (clicks, list choices, the worker's messages, timers, the editor's keys, F1, the
// About item) goes to an IDialogEvents, which the program binds to the dialog logic.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "session/session_sink.h"
#include "ui/dialog/dialog_surface.h"
#include "ui/dialog/dialog_template.h"
#include "ui/win32/taskbar_win32.h"

namespace pelorin::ui {

enum class Notification;
enum class EditorKey;

// The window's events, as the dialog logic takes them.
class IDialogEvents {
  public:
    virtual ~IDialogEvents() = default;
    virtual void OnInitDialog() = 0;
    virtual void OnCommand(int controlId, Notification notification) = 0;
    virtual void Dispatch(uint32_t id, uint64_t wParam, int64_t lParam) = 0;
    virtual void OnBeep() = 0;
    virtual void OnTimer(int timerId) = 0;
    virtual bool OnEditorKey(EditorKey key, bool control) = 0;
    virtual void OnEditorFocusLost() = 0;
    virtual void OnHelpKey() = 0;
    // Asked after OnInitDialog: whether the system menu gets "&About Me...".
    virtual bool AboutOffered() const = 0;
    // A device came or went; files were dropped on the window (UTF-8 paths).
    virtual void OnDevicesChanged() {}
    virtual void OnFilesDropped(const std::vector<std::string>& paths) { (void)paths; }
};

// Private messages of the window.
inline constexpr UINT kDeferMessage = WM_APP + 1;
inline constexpr UINT kBeepWindowMessage = WM_APP + 2;
// The worker's messages posted to the window: WM_SESSION_* and the ones after them.
inline constexpr UINT kFirstWorkerMessage = WM_USER + 232;
inline constexpr UINT kLastWorkerMessage = WM_USER + 400;
// The system menu's About item.
inline constexpr UINT kAboutCommand = 0x10;

class DialogViewWin32 final : public IDialogSurface {
  public:
    explicit DialogViewWin32(const DialogTemplate& dialog = MainWindowTemplate());
    ~DialogViewWin32() override;
    DialogViewWin32(const DialogViewWin32&) = delete;
    DialogViewWin32& operator=(const DialogViewWin32&) = delete;

    void SetEvents(IDialogEvents* events) { events_ = events; }
    void SetAboutHandler(std::function<void(HWND owner)> showAbout) {
        showAbout_ = std::move(showAbout);
    }
    // Called once the window exists and the logic has initialised it (tests and test modes
    // start driving it from here).
    void SetOnShown(std::function<void(HWND)> onShown) { onShown_ = std::move(onShown); }

    // Runs the dialog modally; returns IDOK or IDCANCEL as EndDialog left it, -1 on failure.
    INT_PTR Run(HWND owner = nullptr);
    HWND Window() const { return hwnd_; }
    HWND Control(int id) const { return GetDlgItem(hwnd_, id); }
    HWND ToolTip() const { return toolTip_; }

    // The worker's side: posts to the window; usable from any thread once Run began.
    ISessionSink& Sink() { return sink_; }
    // Wakes the window's thread to run `call` there (from any thread).
    void Post(std::function<void()> call);
    // F1 or the About item: passed to the logic.
    void HelpKey();

    // IDialogSurface.
    void ClearItems(int id) override;
    void InsertItem(int id, int index, const std::string& text) override;
    int ItemCount(int id) const override;
    std::string ItemText(int id, int index) const override;
    int Selection(int id) const override;
    void Select(int id, int index) override;
    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    void SetToolTip(int id, const std::string& text) override;
    void Enable(int id, bool enabled) override;
    bool Enabled(int id) const override;
    void Show(int id, bool shown) override;
    void SetBarPosition(int id, int percent) override;
    std::string Caption() const override;
    void SetCaption(const std::string& text) override;
    int Width() const override;
    void SetWidth(int pixels) override;
    int DialogBaseUnitX() const override;
    void SetStatusPart(int part, const std::string& text) override;
    void SetReadOnly(int id, bool readOnly) override;
    void SetFocus(int id) override;
    void StartTimer(int timerId, int periodMs) override;
    void StopTimer(int timerId) override;
    void Defer(std::function<void()> call) override;
    void Beep() override;
    void ShowAbout() override;
    void EndDialog(bool accepted) override;
    void SetTaskbarProgress(TaskbarState state, int percent) override;
    bool IsActiveWindow() const override;
    void NotifyOperator(const std::string& title, const std::string& text) override;

  private:
    class PostingSink final : public ISessionSink {
      public:
        explicit PostingSink(DialogViewWin32& view) : view_(view) {}
        void Post(uint32_t id, uint64_t wParam, int64_t lParam) override;
        void Beep() override;

      private:
        DialogViewWin32& view_;
    };

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR ref);
    INT_PTR Handle(UINT msg, WPARAM wp, LPARAM lp);
    void InitControls();
    void FitStatusLine();
    void RunDeferred();
    bool IsList(int id) const;
    bool IsEdit(int id) const;
    void DropFiles(HDROP drop);

    const DialogTemplate& dialog_;
    IDialogEvents* events_ = nullptr;
    std::function<void(HWND owner)> showAbout_;
    std::function<void(HWND)> onShown_;
    HWND hwnd_ = nullptr;
    HWND statusBar_ = nullptr;
    int statusLineBottom_ = 0;  // where the template puts the status line's last line
    HWND toolTip_ = nullptr;
    std::set<int> toolIds_;  // controls the tooltip knows
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;
    PostingSink sink_{*this};
    TaskbarButton taskbar_;

    std::mutex deferredMutex_;
    std::deque<std::function<void()>> deferred_;
    std::mutex windowMutex_;  // guards hwnd_ for the worker's posts
    HWND postTarget_ = nullptr;
};

}  // namespace pelorin::ui
