// cnComm's monitor thread on Windows: waits for comm events, posts notifications and feeds
// the send queue to the driver one overlapped write at a time.
#include <algorithm>
#include <cstdio>

#include "serial/comm_device_win32.h"
#include "serial/comm_messages.h"

namespace pelorin {
namespace {

// The comm events the monitor waits for; the event-character event is of no use here.
constexpr DWORD kEventMask =
    EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
// When a wait ends at once with nothing to report, the monitor looks again after a pause
// rather than spinning (Wine on a pseudo-terminal ends every wait that has to wait at once).
// The pause doubles while the line stays quiet, and starts short again after any event.
constexpr DWORD kAbortedWaitFirstBackoffMs = 1;
constexpr DWORD kAbortedWaitLongestBackoffMs = 8;

}  // namespace

bool cnComm::PrepareMonitorStart() {
    Device& d = *device_;
    ResetEvent(d.wake);
    ResetEvent(d.waitOv.hEvent);
    return true;
}

void cnComm::WakeMonitorToStop() {
    Device& d = *device_;
    // An empty mask completes a pending event wait at once; cancelling it instead is not
    // reliable everywhere (Wine finds nothing to cancel and then never completes it).
    (void)SetCommMask(d.handle, 0);
    SetEvent(d.wake);
}

void cnComm::MonitorJoined() {
    ResetEvent(device_->waitOv.hEvent);
}

int cnComm::MonitorLoop() {
    // Notifications are what the worker waits for: let nothing else delay them.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    Device& d = *device_;
    const unsigned port = monitorPort_.load();
    auto systemError = [&](const std::string& what, DWORD error) {
        SetLastError("COM" + std::to_string(port) + " (" + d.name + "): " + what + ": " +
                     ErrorText(error));
    };
    if (!SetCommMask(d.handle, kEventMask)) {
        // No event will ever come: tell the owner now rather than let it wait for a time-out.
        const DWORD error = GetLastError();
        char text[256];
        std::snprintf(text, sizeof text,
                      "COM%u Call WINAPI SetCommMask(%lx) Fail, thread work invalid! "
                      "GetLastError() = %lu;",
                      port, static_cast<unsigned long>(kEventMask), error);
        SetLastError(text);
        if (!d.gone.exchange(true)) NotifyGone(static_cast<int>(error));
        monitorActive_.store(false);
        return 1;
    }

    bool waiting = false;  // an event wait is in flight on waitOv
    DWORD backoffStepMs = kAbortedWaitFirstBackoffMs;
    auto nextBackoff = [&]() {
        const DWORD now = backoffStepMs;
        backoffStepMs = std::min(backoffStepMs * 2, kAbortedWaitLongestBackoffMs);
        return now;
    };
    DWORD events = 0;
    int exitCode = 0;
    auto markGone = [&](DWORD error) { MarkGone("the device is gone", static_cast<int>(error)); };
    // Posts WM_COMM_RXCHAR when data waits and none is unread. False when the device is gone.
    auto checkReceive = [&]() {
        if (d.receivePending.load()) return true;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(d.handle, &errors, &status)) {
            const DWORD error = GetLastError();
            if (IsVanishedError(error)) {
                markGone(error);
                return false;
            }
            return true;
        }
        if (errors) {
            d.unseenErrors.fetch_or(errors);
            NotifyError(static_cast<int64_t>(errors));
        }
        if (status.cbInQue > 0) {
            backoffStepMs = kAbortedWaitFirstBackoffMs;
            d.receivePending.store(true);
            NotifyReceive();
        }
        return true;
    };
    auto dispatch = [&](DWORD mask) {
        // One notification per event of the mask, in the order of the message table.
        if (mask & EV_RXCHAR) checkReceive();
        DWORD modem = 0;
        if ((mask & (EV_CTS | EV_DSR)) && GetCommModemStatus(d.handle, &modem)) {
            if (mask & EV_CTS) NotifyCts(modem & MS_CTS_ON);
            if (mask & EV_DSR) NotifyDsr(modem & MS_DSR_ON);
        }
        if (mask & EV_RING) NotifyRing();
        if (mask & EV_RLSD) NotifyRlsd();
        if (mask & EV_BREAK) NotifyBreak();
        if (mask & EV_TXEMPTY) {
            std::lock_guard lock(d.sendMutex);
            if (!d.writePending && d.sendQueue.empty()) NotifyTxEmpty();
        }
        if (mask & EV_ERR) {
            DWORD errors = 0;
            if (ClearCommError(d.handle, &errors, nullptr) && errors) {
                d.unseenErrors.fetch_or(errors);
                NotifyError(static_cast<int64_t>(errors));
            }
        }
    };

    while (monitorRunning_.load() && !d.gone.load()) {
        // Look at the queue on every round: some drivers report EV_RXCHAR only for data that
        // was already there when the wait began, and a Read re-arms the notification.
        if (!checkReceive()) break;
        // Bytes a stalled device left queued get another try.
        {
            std::lock_guard lock(d.sendMutex);
            bool drained = false;
            if (!d.writePending && !d.sendQueue.empty()) (void)d.StartNextWriteLocked(drained);
        }

        // Never an endless wait: an idle monitor asks the driver now and then, which is how a
        // device that vanished without ending the wait shows up.
        DWORD backoffMs = kPathCheckMs;
        if (!waiting) {
            events = 0;
            ResetEvent(d.waitOv.hEvent);
            if (WaitCommEvent(d.handle, &events, &d.waitOv)) {
                if (events) backoffStepMs = kAbortedWaitFirstBackoffMs;
                dispatch(events);
                continue;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                waiting = true;
            } else if (IsVanishedError(error)) {
                markGone(error);
                break;
            } else {
                // Aborted by the driver, not by us (ERROR_OPERATION_ABORTED from Wine on a
                // pseudo-terminal), or refused: look again shortly.
                backoffMs = nextBackoff();
            }
        }

        HANDLE handles[3];
        DWORD count = 0;
        handles[count++] = d.wake;
        bool writeInFlight;
        {
            std::lock_guard lock(d.sendMutex);
            writeInFlight = d.writePending;
        }
        const DWORD writeIndex = writeInFlight ? count : MAXDWORD;
        if (writeInFlight) handles[count++] = d.writeOv.hEvent;
        const DWORD waitIndex = waiting ? count : MAXDWORD;
        if (waiting) handles[count++] = d.waitOv.hEvent;

        const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, backoffMs);
        if (woke == WAIT_FAILED) {
            MarkGone("the monitor cannot wait", static_cast<int>(GetLastError()));
            exitCode = 1;
            break;
        }
        if (!monitorRunning_.load()) break;
        if (woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + writeIndex)
            backoffStepMs = kAbortedWaitFirstBackoffMs;

        if (woke == WAIT_OBJECT_0 + writeIndex) {
            bool drained = false;
            DWORD error;
            {
                std::lock_guard lock(d.sendMutex);
                error = d.FinishWriteLocked(drained);
            }
            if (error != 0 && IsVanishedError(error)) {
                markGone(error);
                break;
            }
            if (error != 0) systemError("write failed", error);
            if (drained) NotifyTxEmpty();
        } else if (woke == WAIT_OBJECT_0 + waitIndex) {
            waiting = false;
            DWORD n = 0;
            if (GetOverlappedResult(d.handle, &d.waitOv, &n, FALSE)) {
                if (events) backoffStepMs = kAbortedWaitFirstBackoffMs;
                dispatch(events);
            } else if (const DWORD error = GetLastError(); IsVanishedError(error)) {
                markGone(error);
                break;
            } else {
                // Ended without an event (see above): the next round checks the queue; wait a
                // little first so that a driver doing this all the time is not polled flat out.
                if (WaitForSingleObject(d.wake, nextBackoff()) == WAIT_OBJECT_0)
                    SetEvent(d.wake);  // keep the wake-up for the next round
            }
        }
    }

    // The empty mask set by StopMonitor ends a wait in flight; collect it (bounded) so the
    // record is free for the next opening.
    if (waiting) {
        (void)SetCommMask(d.handle, 0);
        d.AwaitCancelled(d.waitOv);
    }
    monitorActive_.store(false);
    return exitCode;
}

}  // namespace pelorin
