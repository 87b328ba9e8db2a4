// cnComm's monitor thread on POSIX terminals: waits in poll() (never spins), posts
// notifications, drains the send queue and notices a device that is gone. Modem lines and
// line error counts come from TIOCGICOUNT where the driver keeps them.
#include "serial/comm_device_posix.h"
#include "serial/comm_messages.h"

namespace pelorin {

bool cnComm::PrepareMonitorStart() {
    Device& d = *device_;
    if (d.wakeRead < 0) return false;
    d.DrainWake();
    return true;
}

void cnComm::WakeMonitorToStop() {
    device_->Wake();
}

void cnComm::MonitorJoined() {}

int cnComm::MonitorLoop() {
    Device& d = *device_;
    const unsigned port = monitorPort_.load();
    LineCounters seen;
    const bool sampleLines = d.hasCounters && ReadLineCounters(d.fd, seen);
    // Never an endless wait: an idle monitor looks at the device node now and then. Counted
    // in whole idle waits, so the look never slips a wait late.
    const int idleWaitMs = sampleLines ? kLineStatusPollMs : kPathCheckMs;
    const int idleWaitsPerPathCheck = std::max(1, kPathCheckMs / idleWaitMs);
    int idleWaits = 0;

    while (monitorRunning_.load() && !d.gone.load()) {
        short wanted = 0;
        if (!d.receivePending.load()) wanted |= POLLIN;
        if (d.SendQueued()) wanted |= POLLOUT;
        pollfd fds[2] = {{d.wakeRead, POLLIN, 0}, {d.fd, wanted, 0}};
        const int ready = ::poll(fds, 2, idleWaitMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            MarkGone("the monitor cannot wait", errno);
            break;
        }
        if (fds[0].revents & POLLIN) d.DrainWake();
        if (!monitorRunning_.load() || d.gone.load()) break;

        // Idle: the one moment a look at the file system costs nothing that matters.
        if (ready == 0 && ++idleWaits >= idleWaitsPerPathCheck) {
            idleWaits = 0;
            if (!d.NodeStillThere()) {
                MarkGone("device node disappeared", ENODEV);
                break;
            }
        }
        const short events = fds[1].revents;
        if (events & (POLLHUP | POLLERR | POLLNVAL)) {
            // The far end hung up or the device vanished: poll would report it forever.
            MarkGone("line hung up", EIO);
            break;
        }
        if (events & POLLIN) {
            d.receivePending.store(true);
            NotifyReceive();
        }
        if (events & POLLOUT) {
            bool drained = false;
            int error = 0;
            {
                std::lock_guard lock(d.sendMutex);
                const bool hadData = !d.sendQueue.empty();
                error = d.WriteQueuedLocked();
                drained = hadData && error == 0 && d.sendQueue.empty();
            }
            if (IsGoneError(error)) {
                MarkGone("write failed", error);
                break;
            }
            if (error != 0) SetLastError(SystemErrorText(port, d.path, "write failed", error));
            if (drained) NotifyTxEmpty();
        }
        if (LineCounters now; sampleLines && ReadLineCounters(d.fd, now)) {
            int lines = 0;
            const bool haveLines = ::ioctl(d.fd, TIOCMGET, &lines) == 0;
            if (now.cts != seen.cts && haveLines) NotifyCts(lines & TIOCM_CTS);
            if (now.dsr != seen.dsr && haveLines) NotifyDsr(lines & TIOCM_DSR);
            if (now.carrier != seen.carrier) NotifyRlsd();
            if (now.brk != seen.brk) NotifyBreak();
            int64_t errors = 0;
            if (now.bufferOverrun != seen.bufferOverrun) errors |= kCommErrRxOver;
            if (now.overrun != seen.overrun) errors |= kCommErrOverrun;
            if (now.parity != seen.parity) errors |= kCommErrParity;
            if (now.frame != seen.frame) errors |= kCommErrFrame;
            if (now.brk != seen.brk) errors |= kCommErrBreak;
            if (errors) NotifyError(errors);
            if (now.ring != seen.ring) NotifyRing();
            seen = now;
        }
    }
    monitorActive_.store(false);
    return 0;
}

}  // namespace pelorin
