// The main window's Qt view: the controls of template 102 as widgets, the surface the dialog
// logic drives, and the toolkit's events turned into the logic's calls. It decides nothing.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QLabel>
#include <array>
#include <functional>
#include <memory>

#include "ui/dialog/dialog_surface.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/qt/dialog_controls.h"

class QSocketNotifier;

namespace pelorin::ui {

class DesktopServices;
class GuiThreadPrompt;
class PortWatch;
class MessageBoxPrompt;
class ToolkitFileDialogs;
class WindowSink;

struct LoaderWindowSetup {
    // The logic's setup; its sink is the window's own, its prompt (null: message boxes) is
    // only called on the window's thread, its file dialogs (null: the toolkit's) likewise.
    LoaderDlgSetup dialog;
    // The About box; it reports through the window's prompt.
    std::function<void(QWidget& owner, IOperatorPrompt& prompt)> showAbout;
};

class LoaderWindow final : public QDialog, public IDialogSurface {
  public:
    // Builds the controls and runs the logic's initialisation; the worker runs when this
    // returns.
    explicit LoaderWindow(LoaderWindowSetup setup);
    ~LoaderWindow() override;

    CLoaderDlg& Logic() { return *logic_; }
    const CLoaderDlg& Logic() const { return *logic_; }
    QWidget* Control(int id) const { return controls_.Find(id); }
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    QString StatusBarText(int part) const;
    bool TimerRunning(int timerId) const { return timers_[timerId].isActive(); }

    // The surface.
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
    int Width() const override { return width(); }
    void SetWidth(int pixels) override { setFixedWidth(pixels); }
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
    bool IsActiveWindow() const override { return isActiveWindow(); }
    void NotifyOperator(const std::string& title, const std::string& text) override;

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void LetStatusLineWrap();
    void CreateStatusBar();
    void PlaceStatusBar();
    void ConnectCommands();
    void WatchPorts();

    LoaderWindowSetup setup_;
    std::unique_ptr<MessageBoxPrompt> messageBoxes_;
    std::unique_ptr<GuiThreadPrompt> prompt_;  // the operator's boxes, from either thread
    std::unique_ptr<ToolkitFileDialogs> ownFileDialogs_;
    std::unique_ptr<WindowSink> sink_;
    DialogControls controls_;
    QLabel* statusParts_[2] = {nullptr, nullptr};
    std::array<QBasicTimer, kTimerCount> timers_;
    std::unique_ptr<DesktopServices> desktop_;
    std::unique_ptr<PortWatch> portWatch_;
    std::unique_ptr<QSocketNotifier> portNotifier_;  // goes before the watch it waits on
    std::unique_ptr<CLoaderDlg> logic_;
};

}  // namespace pelorin::ui
