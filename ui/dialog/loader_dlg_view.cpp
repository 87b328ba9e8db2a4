// What the operation tells the window, shown in its controls and message boxes.
#include <algorithm>

#include "session/operation.h"
#include "session/session_protocol.h"
#include "session/watchdog.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/window_texts.h"

namespace pelorin::ui {
namespace {

constexpr const char* kCloseWhileRunningQuestion = "An operation is running. Cancel it and close?";

bool IsFailure(Outcome outcome) {
    return outcome != Outcome::Completed && outcome != Outcome::Cancelled &&
           outcome != Outcome::Running && outcome != Outcome::NotStarted;
}

}  // namespace

int CLoaderDlg::CurrentMode() const {
    return std::clamp(surface_.Selection(kIdcMode), 0, 2);
}

std::string CLoaderDlg::IdleCaptionOfMode() const {
    return IdleCaption(OperationKind(CurrentMode()));
}

void CLoaderDlg::OnStarted(const std::string& statusText) {
    ++operationsStarted_;
    infoText_.clear();
    EnterProgressState(IdleCaptionOfMode());
    SetStatusLine(statusText);
    ConveniencesOnStarted();
}

// The stage letter itself is the operation's: its watchdog names it.
void CLoaderDlg::OnStage(char, const std::string& text) {
    SetStatusLine(text);
}

void CLoaderDlg::OnMainPercent(unsigned percent) {
    ShowMainPercent(percent);
    ConveniencesOnMainPercent(percent);
}

void CLoaderDlg::OnSubPercent(unsigned percent) {
    ShowSubPercent(percent);
}

void CLoaderDlg::OnSendBegin(uint64_t bytes) {
    sendEstimate_.Begin(uint32_t(bytes));
    surface_.StartTimer(kSendEstimateTimer, int(kSendEstimateTickMs));
}

void CLoaderDlg::OnSendEnd() {
    surface_.StopTimer(kSendEstimateTimer);
}

// Shown after the tick that found it: a box opened inside the timer's own handler would hold
// that timer (a toolkit does not run a timer's handler again while it runs), and the message
// could not come again while the first box stays open.
void CLoaderDlg::OnTimeout(char, const std::string& text) {
    surface_.Defer([this, text] { Prompt({text, kTimeoutCaption, PromptIcon::Warning}); });
}

// Notes of the operation that need no box (the partial dump kept, ...) stay at hand on the
// status line.
void CLoaderDlg::OnInfo(const std::string& text) {
    infoText_ = text;
    surface_.SetToolTip(kIdcStatusLine, infoText_);
}

void CLoaderDlg::OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) {
    if (outcome == Outcome::PortFailed) {
        // The worker has shown its own "Can't open port!"; the reason goes beside it.
        SetStatusLine(text);
        surface_.SetToolTip(kIdcStatusLine, text);
    } else if (IsFailure(outcome) && !shownAsMessage && outcome != Outcome::TransferError) {
        Prompt({text, kErrorCaption, PromptIcon::Warning});
    }
    if (!inProgressState_) return;  // a start that failed leaves the window idle
    ConveniencesOnEnded(outcome, text);
    surface_.StopTimer(kWatchdogTimer);
    if (outcome == Outcome::Cancelled) {
        StopOperation(IdleCaptionOfMode());
        // A cancelled Dump says where what arrived went.
        if (!infoText_.empty()) SetStatusLine(text + ". " + infoText_);
        return;
    }
    // The window keeps the last stage text and both bars, so a finished run reads as such;
    // a failed one shows how it ended instead of the stage it ended in.
    surface_.StopTimer(kSendEstimateTimer);
    if (IsFailure(outcome)) SetStatusLine(text);
    RestoreIdleControls();
}

void CLoaderDlg::OnQuitRequest() {
    if (OperationRunning()) CancelOperation(CurrentMode());
    End(false);
}

bool CLoaderDlg::OnClose() {
    if (!OperationRunning()) return true;
    const PromptAnswer answer =
        Prompt({kCloseWhileRunningQuestion, setup_.programPath.stem().string(), PromptIcon::Warning,
                PromptButtons::YesNo});
    if (answer != PromptAnswer::Yes) return false;
    // Ends in OnEnded; the worker stops with the board when the logic goes.
    CancelOperation(CurrentMode());
    return true;
}

}  // namespace pelorin::ui
