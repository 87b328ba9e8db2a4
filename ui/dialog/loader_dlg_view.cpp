// What the operation tells the window, shown in its controls and message boxes.
#include <QComboBox>
#include <QLabel>
#include <algorithm>

#include "session/operation.h"
#include "session/session_protocol.h"
#include "session/watchdog.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/gui_thread_prompt.h"
#include "ui/loader_dlg.h"

namespace pelorin::ui {
namespace {

bool IsFailure(Outcome outcome) {
    return outcome != Outcome::Completed && outcome != Outcome::Cancelled &&
           outcome != Outcome::Running && outcome != Outcome::NotStarted;
}

}  // namespace

QString CLoaderDlg::IdleCaptionOfMode() const {
    const int mode = ControlAs<QComboBox>(kIdcMode)->currentIndex();
    return QString::fromUtf8(IdleCaption(OperationKind(std::clamp(mode, 0, 2))));
}

void CLoaderDlg::OnStarted(const std::string& statusText) {
    EnterProgressState(IdleCaptionOfMode());
    ControlAs<QLabel>(kIdcStatusLine)->setText(QString::fromStdString(statusText));
}

// The stage letter itself is the operation's: its watchdog names it.
void CLoaderDlg::OnStage(char, const std::string& text) {
    ControlAs<QLabel>(kIdcStatusLine)->setText(QString::fromStdString(text));
}

void CLoaderDlg::OnMainPercent(unsigned percent) {
    ShowMainPercent(percent);
}

void CLoaderDlg::OnSubPercent(unsigned percent) {
    ShowSubPercent(percent);
}

void CLoaderDlg::OnSendBegin(uint64_t bytes) {
    sendEstimate_.Begin(uint32_t(bytes));
    SetTimer(kSendEstimateTimer, int(kSendEstimateTickMs));
}

void CLoaderDlg::OnSendEnd() {
    KillTimer(kSendEstimateTimer);
}

void CLoaderDlg::OnTimeout(char, const std::string& text) {
    prompt_->Show({text, kTimeoutCaption, PromptIcon::Warning});
}

// Notes of the operation that need no box (the partial dump kept, ...) stay at hand on the
// status line.
void CLoaderDlg::OnInfo(const std::string& text) {
    infoText_ = QString::fromStdString(text);
    Control(kIdcStatusLine)->setToolTip(infoText_);
}

void CLoaderDlg::OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) {
    if (outcome == Outcome::PortFailed) {
        // The worker has shown its own "Can't open port!"; the reason goes beside it.
        ControlAs<QLabel>(kIdcStatusLine)->setText(QString::fromStdString(text));
        Control(kIdcStatusLine)->setToolTip(QString::fromStdString(text));
    } else if (IsFailure(outcome) && !shownAsMessage && outcome != Outcome::TransferError) {
        prompt_->Show({text, kErrorCaption, PromptIcon::Warning});
    }
    if (!inProgressState_) return;  // a start that failed leaves the window idle
    KillTimer(kWatchdogTimer);
    if (outcome == Outcome::Cancelled) return StopOperation(IdleCaptionOfMode());
    // The window keeps the last stage text and both bars, so a finished run reads as such.
    KillTimer(kSendEstimateTimer);
    RestoreIdleControls();
}

}  // namespace pelorin::ui
