// The main window: the controls of template 102, its message map, the settings, the file
// choice and the display of one operation at a time. The operation itself (checks, working
// files, hand-over with the worker, watchdog) is the engine's Operation; the window presents
// what it is told and drives it with the board's messages and its own timers.
#pragma once

#include <QBasicTimer>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/ini_reader.h"
#include "config/layout_handover.h"
#include "config/segment_table.h"
#include "config/work_dir.h"
#include "serial/port_names.h"
#include "session/operation_view.h"
#include "session/session_header.h"
#include "ui/dialog_controls.h"
#include "ui/loader_dlg_setup.h"
#include "ui/send_estimate.h"

namespace pelorin {
class Board;
class Operation;
}  // namespace pelorin

namespace pelorin::ui {

class GuiThreadPrompt;
class MessageBoxPrompt;
class ToolkitFileDialogs;
class WindowSink;

// The window's timers.
inline constexpr int kSendEstimateTimer = 0;  // 100 ms: the step bar during a long write
inline constexpr int kWatchdogTimer = 1;      // 1000 ms: the time-out watchdog

class CLoaderDlg final : public QDialog, public IOperationView {
  public:
    // Builds the controls and runs the initialisation; the worker runs when this returns.
    explicit CLoaderDlg(LoaderDlgSetup setup);
    ~CLoaderDlg() override;

    // Handlers, bound by the message map; public so that tests call them as the map does.
    void OnOperationButton();
    void OnTogglePanel();
    void OnBrowse();
    void OnModeChange();
    void SaveSettings();
    long OnSessionUpdate(uint64_t kind, int64_t value);
    long OnSessionFinished(uint64_t wParam, int64_t lParam);
    long OnSendBegin(uint64_t bytes, int64_t lParam);
    long OnSendEnd(uint64_t wParam, int64_t lParam);
    void OnTimer(int timerId);
    void OnEditorKillFocus();

    // A numeric [Config] key of the working layout, else the profile's value.
    uint32_t ReadConfigValue(std::string_view key) const;

    // What the window shows, for tests and the program's test mode.
    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    QString StatusBarText(int part) const;
    bool TimerRunning(int timerId) const { return timers_[timerId].isActive(); }
    const SessionHeader& Header() const { return header_; }
    bool AboutOffered() const { return aboutOffered_; }
    bool WholeImage() const { return wholeImage_; }
    const QString& InfoText() const { return infoText_; }
    const std::string& FilePath() const { return filePath_; }
    bool OperationRunning() const;
    bool EditorLocked() const { return editorLocked_; }
    bool RestorePending() const { return restorePending_; }
    const Board& TheBoard() const { return *board_; }
    Board& TheBoard() { return *board_; }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  public:
    // A row of the message map (loader_dlg_message_map.cpp).
    struct MessageMapEntry;

  private:
    static const MessageMapEntry kMessageMap[];

    // Message map (loader_dlg_message_map.cpp).
    void ConnectCommands();
    void DispatchMessage(uint32_t id, uint64_t wParam, int64_t lParam);
    long OnBeep(uint64_t wParam, int64_t lParam);

    // Building (loader_dlg.cpp).
    void BuildControls();
    void CreateStatusBar();
    void PlaceStatusBar();
    void SetTimer(int timerId, int periodMs);
    void KillTimer(int timerId);
    void ShowAbout();

    // Initialisation (loader_dlg_init.cpp).
    void OnInitDialog();
    void PrepareWorkTree();
    void LoadWorkingLayout();
    void FillPortList();
    void FillSectionList();
    void FillChipTypeList();
    void ApplySettings();
    void ApplyPanelLock();
    void SetCaption();
    void StartWorker();
    std::string LayoutConfigText(std::string_view key) const;

    // Panel, mode and summary (loader_dlg_panel.cpp).
    void UpdateSettingsSummary();

    // Operation dispatch (loader_dlg_operation.cpp).
    void EnterProgressState(const QString& idleCaption);
    void StopOperation(const QString& idleCaption);
    void RestoreIdleControls();
    void EnableOperatorControls(bool enable);
    void StartOperation(int mode, unsigned portNumber);
    void CancelOperation(int mode);
    void ForwardToOperation(uint32_t id, uint64_t wParam, int64_t lParam);
    void FollowWatchdog();

    // Progress display (loader_dlg_progress.cpp).
    void ShowMainPercent(unsigned percent);
    void ShowSubPercent(unsigned percent);
    void SetBar(int barId, int labelId, unsigned percent);
    void ResetBars();
    void SendEstimateTick();
    void WatchdogTick();

    // The configuration editor (loader_dlg_editor.cpp).
    QPlainTextEdit* Editor() const;
    void FillEditor();
    bool PreTranslateEditorKey(const QKeyEvent& key);  // true: the key is consumed
    void UnlockEditor();
    void LockEditor();
    void AskToSave();
    void AskToWithdraw();
    bool RefuseWhileRunning();
    void SaveLayout();
    void RestoreLayout();
    HandOverPaths HandOver() const;
    bool StartHelper(bool restore, std::string* error);
    void ReportHandOverFailure(const std::string& error);
    PromptAnswer Prompt(const PromptRequest& request);

    // What the operation tells the window (loader_dlg_view.cpp).
    void OnStarted(const std::string& statusText) override;
    void OnStage(char letter, const std::string& text) override;
    void OnMainPercent(unsigned percent) override;
    void OnSubPercent(unsigned percent) override;
    void OnSendBegin(uint64_t bytes) override;
    void OnSendEnd() override;
    void OnTimeout(char stage, const std::string& text) override;
    void OnInfo(const std::string& text) override;
    void OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) override;
    QString IdleCaptionOfMode() const;

    LoaderDlgSetup setup_;
    std::unique_ptr<TargetImages> ownImages_;
    std::unique_ptr<MessageBoxPrompt> messageBoxes_;
    std::unique_ptr<GuiThreadPrompt> prompt_;  // the operator's boxes, from either thread
    std::unique_ptr<ToolkitFileDialogs> ownFileDialogs_;
    std::unique_ptr<WindowSink> sink_;
    DialogControls controls_;
    PortNameTable portNames_;  // numbers of the listed devices; the board gets a copy
    QLabel* statusParts_[2] = {nullptr, nullptr};
    std::array<QBasicTimer, 2> timers_;

    // Working files and the layout.
    std::optional<WorkDir> workDir_;
    std::string layoutText_;
    IniText layoutIni_{""};
    SegmentTable segments_;

    // The configuration editor.
    bool editorLocked_ = true;
    QString editorSnapshot_;  // the text at unlocking
    bool restorePending_ = false;
    bool editorQuestionShown_ = false;
    bool layoutIsUtf8_ = true;  // how the layout's bytes became the editor's text

    // Choices and what they fill.
    std::string filePath_;
    bool wholeImage_ = false;
    SessionHeader header_;
    bool aboutOffered_ = false;
    QString infoText_;

    // Display state of the running operation.
    SendEstimate sendEstimate_;
    int lastMainPercent_ = 0;
    int lastSubPercent_ = 0;
    bool inProgressState_ = false;
    // Each tick of timer 1 is one second of the watchdog, counted from its arming.
    std::chrono::steady_clock::time_point watchdogArmedAt_;
    unsigned watchdogTicks_ = 0;

    std::unique_ptr<Board> board_;
    std::unique_ptr<Operation> operation_;
};

}  // namespace pelorin::ui
