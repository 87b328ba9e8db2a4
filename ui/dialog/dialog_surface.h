// What the dialog logic needs of a window, keyed by control id: each toolkit's view implements
// it over its own controls. Every call is made on the window's thread. Texts are UTF-8.
#pragma once

#include <functional>
#include <string>

namespace pelorin::ui {

// The window's entry on the taskbar or launcher: no progress, a running bar, a failed one.
enum class TaskbarState { None, Normal, Error };

class IDialogSurface {
  public:
    virtual ~IDialogSurface() = default;

    // Drop-down lists: their items and the selection, -1 for none.
    virtual void ClearItems(int id) = 0;
    virtual void InsertItem(int id, int index, const std::string& text) = 0;
    virtual int ItemCount(int id) const = 0;
    virtual std::string ItemText(int id, int index) const = 0;
    virtual int Selection(int id) const = 0;
    virtual void Select(int id, int index) = 0;

    // Any control's text: a label's, a button's caption (with its mnemonic), an edit's.
    virtual std::string Text(int id) const = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    virtual void SetToolTip(int id, const std::string& text) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual bool Enabled(int id) const = 0;
    // A hidden control takes neither the focus nor keys.
    virtual void Show(int id, bool shown) = 0;
    virtual void SetBarPosition(int id, int percent) = 0;

    // The window itself.
    virtual std::string Caption() const = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual int Width() const = 0;  // pixels
    virtual void SetWidth(int pixels) = 0;
    // Pixels per four horizontal dialog units of the window's font.
    virtual int DialogBaseUnitX() const = 0;
    // The status bar's parts (0: the configuration mark, 1: the settings summary).
    virtual void SetStatusPart(int part, const std::string& text) = 0;

    // The configuration editor.
    virtual void SetReadOnly(int id, bool readOnly) = 0;
    virtual void SetFocus(int id) = 0;

    // Periodic timers by the logic's ids; starting a running timer restarts it.
    virtual void StartTimer(int timerId, int periodMs) = 0;
    virtual void StopTimer(int timerId) = 0;
    // Runs `call` on the window's thread after the event being handled.
    virtual void Defer(std::function<void()> call) = 0;

    virtual void Beep() = 0;
    virtual void ShowAbout() = 0;
    // Ends the dialog's loop with `accepted` true for OK.
    virtual void EndDialog(bool accepted) = 0;

    // The desktop around the window; a view without one ignores these.
    virtual void SetTaskbarProgress(TaskbarState state, int percent) { (void)state, (void)percent; }
    virtual bool IsActiveWindow() const { return true; }
    // A word for an operator who looks elsewhere: a notification, or the button flashing.
    virtual void NotifyOperator(const std::string& title, const std::string& text) {
        (void)title, (void)text;
    }
};

}  // namespace pelorin::ui
