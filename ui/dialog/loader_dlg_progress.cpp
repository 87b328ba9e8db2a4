// The worker's notifications and the two timers: the step bar's send estimate and the
// watchdog's second.
#include <algorithm>
#include <string>

#include "session/board.h"
#include "session/messages.h"
#include "session/operation.h"
#include "session/watchdog.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"

namespace pelorin::ui {

long CLoaderDlg::OnSessionUpdate(uint64_t kind, int64_t value) {
    BoardAnswered();
    ForwardToOperation(WM_SESSION_UPDATE, kind, value);
    FollowWatchdog();
    return 0;
}

long CLoaderDlg::OnSessionFinished(uint64_t wParam, int64_t lParam) {
    ForwardToOperation(WM_SESSION_FINISHED, wParam, lParam);
    return 0;
}

long CLoaderDlg::OnSendBegin(uint64_t bytes, int64_t lParam) {
    ForwardToOperation(WM_SESSION_SEND_BEGIN, bytes, lParam);
    return 0;
}

long CLoaderDlg::OnSendEnd(uint64_t wParam, int64_t lParam) {
    ForwardToOperation(WM_SESSION_SEND_END, wParam, lParam);
    return 0;
}

void CLoaderDlg::OnTimer(int timerId) {
    if (timerId == kSendEstimateTimer) SendEstimateTick();
    if (timerId == kWatchdogTimer) WatchdogTick();
    if (timerId >= kNoAnswerTimer) OnConvenienceTimer(timerId);
}

// Timer 1 runs while the operation's watchdog is armed, restarted by every notification.
void CLoaderDlg::FollowWatchdog() {
    surface_.StopTimer(kWatchdogTimer);
    if (!OperationRunning() || !operation_->Watchdog().Running()) return;
    watchdogArmedAt_ = std::chrono::steady_clock::now();
    watchdogTicks_ = 0;
    surface_.StartTimer(kWatchdogTimer, int(kWatchdogTickMs));
}

void CLoaderDlg::WatchdogTick() {
    if (!OperationRunning()) return surface_.StopTimer(kWatchdogTimer);
    ++watchdogTicks_;
    operation_->Poll(watchdogArmedAt_ +
                     watchdogTicks_ * std::chrono::milliseconds(kWatchdogTickMs));
}

// The estimate moves the step bar by time; where the port measures what left the host, the
// bar shows that instead and never runs ahead of the line.
void CLoaderDlg::SendEstimateTick() {
    SendEstimate::Step step = sendEstimate_.Tick();
    const StepProgress measured = OperationRunning() ? operation_->Step() : StepProgress{};
    if (measured.active && !measured.dump) {
        step.done = measured.done >= measured.total;
        step.percent = step.done ? 100 : unsigned(measured.done * 100 / measured.total);
    }
    SetBar(kIdcSubProgress, kIdcSubPercent, step.percent);
    if (step.done) surface_.StopTimer(kSendEstimateTimer);
}

void CLoaderDlg::SetBar(int barId, int labelId, unsigned percent) {
    const unsigned shown = std::min(percent, 100u);
    surface_.SetBarPosition(barId, int(shown));
    surface_.SetText(labelId, std::to_string(shown) + '%');
}

// Repeated values are filtered: a stream of equal reports repaints nothing.
void CLoaderDlg::ShowMainPercent(unsigned percent) {
    if (int(percent) == lastMainPercent_) return;
    SetBar(kIdcMainProgress, kIdcMainPercent, percent);
    lastMainPercent_ = int(percent);
}

void CLoaderDlg::ShowSubPercent(unsigned percent) {
    if (int(percent) == lastSubPercent_) return;
    SetBar(kIdcSubProgress, kIdcSubPercent, percent);
    lastSubPercent_ = int(percent);
}

// The filter compares with what the bars show, so it forgets old values when they reset.
void CLoaderDlg::ResetBars() {
    SetBar(kIdcMainProgress, kIdcMainPercent, 0);
    SetBar(kIdcSubProgress, kIdcSubPercent, 0);
    lastMainPercent_ = 0;
    lastSubPercent_ = 0;
}

}  // namespace pelorin::ui
