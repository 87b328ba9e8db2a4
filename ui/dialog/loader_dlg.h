// The main window's logic, free of any toolkit: its state, every handler, the message map and
// the meaning of its timers. It sees the window only through IDialogSurface (controls keyed by
// id), the profile, the prompt and file-dialog interfaces, and the session sink. The
// operation itself (checks, working files, hand-over with the worker, watchdog) is the
// engine's Operation; the logic presents what it is told. Runs on the window's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/compression.h"
#include "config/ini_reader.h"
#include "config/layout_handover.h"
#include "config/segment_table.h"
#include "config/work_dir.h"
#include "serial/port_names.h"
#include "session/operation_view.h"
#include "session/session_header.h"
#include "ui/dialog/dialog_surface.h"
#include "ui/dialog/loader_dlg_setup.h"
#include "ui/dialog/send_estimate.h"

namespace pelorin {
class Board;
class Operation;
}  // namespace pelorin

namespace pelorin::ui {

// The window's timers.
inline constexpr int kSendEstimateTimer = 0;  // 100 ms: the step bar during a long write
inline constexpr int kWatchdogTimer = 1;      // 1000 ms: the time-out watchdog
inline constexpr int kNoAnswerTimer = 2;      // once, 5 s after the start: the hint
inline constexpr int kPortRefreshTimer = 3;   // once, shortly after a device came or went
inline constexpr int kTaskbarTimer = 4;       // once: a failure's red entry is cleared
inline constexpr int kTimerCount = 5;

// A control's notification, as the view reports it.
enum class Notification { Clicked, SelectionChanged };
// The keys the configuration editor acts on; every other key is Other.
enum class EditorKey { Other, P, L, R, Enter };

class CLoaderDlg final : public IOperationView {
  public:
    // The view has built its controls from the template; OnInitDialog fills them.
    CLoaderDlg(LoaderDlgSetup setup, IDialogSurface& surface);
    ~CLoaderDlg() override;
    CLoaderDlg(const CLoaderDlg&) = delete;
    CLoaderDlg& operator=(const CLoaderDlg&) = delete;

    // The initialisation; the worker runs when this returns.
    void OnInitDialog();

    // What the view forwards.
    void OnCommand(int controlId, Notification notification);
    // A message of the worker (through the sink), bound by the message map.
    void Dispatch(uint32_t id, uint64_t wParam, int64_t lParam);
    void OnTimer(int timerId);
    // A key typed into the editor, before the editor sees it; true: the key is consumed.
    bool OnEditorKey(EditorKey key, bool control);
    // The editor lost the focus (not to a context menu); the question follows the focus move.
    void OnEditorFocusLost();
    void OnHelpKey();  // F1, or the About item of the window's menu
    // The operator closes the window: while an operation runs, asks first; true when the
    // window may close (the operation then is cancelled).
    bool OnClose();
    // The program is told to end (a signal): a running operation is cancelled as by the
    // operator, without a question, and the dialog ends.
    void OnQuitRequest();

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
    long OnBeep(uint64_t wParam, int64_t lParam);
    void OnEditorKillFocus();

    // A numeric [Config] key of the working layout, else the profile's value.
    uint32_t ReadConfigValue(std::string_view key) const;

    // What the window holds, for the views, tests and the program's test modes.
    const SessionHeader& Header() const { return header_; }
    bool AboutOffered() const { return aboutOffered_; }
    bool PanelShown() const { return panelShown_; }
    bool WholeImage() const { return wholeImage_; }
    const std::string& InfoText() const { return infoText_; }
    const std::string& FilePath() const { return filePath_; }
    bool OperationRunning() const;
    // How many operations have started since the window opened.
    unsigned OperationsStarted() const { return operationsStarted_; }
    const SegmentTable& Segments() const { return segments_; }
    bool EditorLocked() const { return editorLocked_; }
    bool RestorePending() const { return restorePending_; }
    bool Ended() const { return ended_; }
    const Board& AttachedBoard() const { return *board_; }
    Board& AttachedBoard() { return *board_; }

    // A row of the message map (loader_dlg_message_map.cpp).
    struct MessageMapEntry;

    // Conveniences (loader_dlg_conveniences.cpp).
    // A serial device came or went: the port list follows, once no operation runs.
    void OnDevicesChanged();
    // Paths dropped on the window: one file, in Download mode, while idle, is chosen.
    void OnFilesDropped(const std::vector<std::string>& paths);
    // The file the operator chose, with the checks a file to download gets.
    void ChooseFile(const std::string& path);
    // The port and section of the list, kept for the next start.
    void RememberChoices();

  private:
    static const MessageMapEntry kMessageMap[];

    // Initialisation (loader_dlg_init.cpp).
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
    void ShowPanel(bool shown);
    void UpdateSettingsSummary();
    int PanelWidthPixels() const;

    // Operation dispatch (loader_dlg_operation.cpp).
    void EnterProgressState(const std::string& idleCaption);
    void StopOperation(const std::string& idleCaption);
    void RestoreIdleControls();
    void EnableOperatorControls(bool enable);
    void StartOperation(int mode, unsigned portNumber);
    void CancelOperation(int mode);
    void ForwardToOperation(uint32_t id, uint64_t wParam, int64_t lParam);
    void FollowWatchdog();
    void SetStatusLine(const std::string& text);

    // Progress display (loader_dlg_progress.cpp).
    void ShowMainPercent(unsigned percent);
    void ShowSubPercent(unsigned percent);
    void SetBar(int barId, int labelId, unsigned percent);
    void ResetBars();
    void SendEstimateTick();
    void WatchdogTick();

    // The configuration editor (loader_dlg_editor.cpp).
    void FillEditor();
    void UnlockEditor();
    void LockEditor();
    void AskToSave();
    void AskToWithdraw();
    void FocusEditor();
    bool RefuseWhileRunning();
    void SaveLayout();
    void RestoreLayout();
    HandOverPaths LayoutHandOverPaths() const;
    bool StartHelper(bool restore, std::string* error);
    void ReportHandOverFailure(const std::string& error);
    PromptAnswer Prompt(const PromptRequest& request);
    void End(bool accepted);

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
    int CurrentMode() const;
    std::string IdleCaptionOfMode() const;

    // Conveniences (loader_dlg_conveniences.cpp).
    void RefreshPortList();
    void ApplyRememberedChoices();
    void ConveniencesOnStarted();
    void ConveniencesOnMainPercent(unsigned percent);
    void ConveniencesOnEnded(Outcome outcome, const std::string& text);
    void BoardAnswered();
    void ShowNoAnswerHint();
    void OnConvenienceTimer(int timerId);
    bool SelectPortNumber(unsigned number);

    LoaderDlgSetup setup_;
    IDialogSurface& surface_;
    std::unique_ptr<TargetImages> ownImages_;
    PortNameTable portNames_;  // numbers of the listed devices; the board gets a copy

    // Working files and the layout.
    std::optional<WorkDir> workDir_;
    std::string layoutText_;
    IniText layoutIni_{""};
    SegmentTable segments_;
    Compression compression_ = Compression::Standard;  // the layout's choice
    std::string layoutWarnings_;                       // what is wrong with the layout

    // The configuration editor.
    bool editorLocked_ = true;
    uint8_t unlockStep_ = 0;      // how much of the unlock sequence has been typed
    std::string editorSnapshot_;  // the text at unlocking
    bool restorePending_ = false;
    // From the focus leaving until the answer is in: no second question, no click meanwhile.
    bool editorQuestionPending_ = false;
    bool layoutIsUtf8_ = true;        // how the layout's bytes became the editor's text
    bool layoutEditPending_ = false;  // a saved layout waits for this copy to end
    bool ended_ = false;

    // Choices and what they fill.
    std::string filePath_;
    bool wholeImage_ = false;
    SessionHeader header_;
    bool aboutOffered_ = false;
    bool panelShown_ = true;  // the template's width; the initialisation narrows it
    std::string infoText_;

    // Display state of the running operation.
    SendEstimate sendEstimate_;
    int lastMainPercent_ = 0;
    int lastSubPercent_ = 0;
    bool inProgressState_ = false;
    unsigned operationsStarted_ = 0;
    // Each tick of timer 1 is one second of the watchdog, counted from its arming.
    std::chrono::steady_clock::time_point watchdogArmedAt_;
    unsigned watchdogTicks_ = 0;

    std::unique_ptr<Board> board_;
    std::unique_ptr<Operation> operation_;

    // Conveniences.
    bool portRefreshPending_ = false;  // a device came or went during an operation
    bool boardAnswered_ = false;
    bool portStandsIn_ = false;    // the port selected is no choice of the operator
    std::string portOfOperation_;  // the port's item while an operation runs
};

}  // namespace pelorin::ui
