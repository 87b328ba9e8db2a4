// cnComm's device state on POSIX terminals, shared by the port (comm_posix.cpp) and its
// monitor (comm_monitor_posix.cpp): the descriptor, the monitor's wake-up pipe, the send queue
// and the driver's line counters.
#pragma once

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#if defined(__linux__)
#include <linux/serial.h>  // struct serial_icounter_struct
#endif

#include "serial/comm.h"

namespace pelorin {

// Line error and modem line counts the driver keeps; pseudo-terminals keep none.
struct LineCounters {
    int cts = 0, dsr = 0, ring = 0, carrier = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;

    bool ErrorsSince(const LineCounters& before) const {
        return frame != before.frame || overrun != before.overrun || parity != before.parity ||
               brk != before.brk || bufferOverrun != before.bufferOverrun;
    }
};

inline bool ReadLineCounters(int fd, LineCounters& out) {
#if defined(TIOCGICOUNT)
    serial_icounter_struct ic{};
    if (ioctl(fd, TIOCGICOUNT, &ic) != 0) return false;
    out = {ic.cts, ic.dsr, ic.rng, ic.dcd, ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return true;
#else
    (void)fd;
    (void)out;
    return false;
#endif
}

// Errors after which the device is no longer there to talk to.
inline bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

struct cnComm::Device {
    // Set and closed by the owner under sendMutex, so that BytesLeftHost (any thread) never
    // asks a closed descriptor; the owner and the monitor read it without the lock.
    int fd = -1;
    std::string path;  // fixed for one opening; the monitor names it in errors
    // The file the path led to at opening; the monitor checks the path still leads there.
    dev_t nodeDevice = 0;
    ino_t nodeInode = 0;
    // The monitor's wake-up: one byte means "look again" (stop, a Read, a new write).
    int wakeRead = -1;
    int wakeWrite = -1;

    // Set by the monitor when it posts WM_COMM_RXCHAR, cleared by Read: while set, the monitor
    // does not watch for input, so unread data raises one notification, not a stream of them.
    std::atomic<bool> receivePending{false};
    // The device hung up or vanished; reads and writes return 0 from then on.
    std::atomic<bool> gone{false};

    bool hasCounters = false;   // written before the monitor starts
    LineCounters readBaseline;  // owner thread only

    std::mutex sendMutex;
    std::deque<std::vector<uint8_t>> sendQueue;
    size_t sendOffset = 0;  // bytes of sendQueue.front() already written
    // Since the last OpenDevice: bytes Write took, and bytes handed to the driver. Changed
    // under sendMutex; `queued` is also read without it.
    std::atomic<uint64_t> queued{0};
    std::atomic<uint64_t> handed{0};

    void Wake() const {
        const uint8_t byte = 1;
        // A full pipe already holds a wake-up; nothing is lost by failing.
        [[maybe_unused]] ssize_t n = ::write(wakeWrite, &byte, 1);
    }
    void DrainWake() const {
        uint8_t sink[64];
        while (::read(wakeRead, sink, sizeof sink) > 0) {
        }
    }
    bool SendQueued() {
        std::lock_guard lock(sendMutex);
        return !sendQueue.empty();
    }
    void DropSendQueue() {
        std::lock_guard lock(sendMutex);
        DropSendQueueLocked();
    }
    void DropSendQueueLocked() {
        sendQueue.clear();
        sendOffset = 0;
    }
    // What the driver still holds for sending; 0 where it cannot tell. Caller holds sendMutex.
    uint64_t DriverHeldLocked() const {
        int held = 0;
        if (fd < 0 || ::ioctl(fd, TIOCOUTQ, &held) != 0 || held < 0) return 0;
        return static_cast<uint64_t>(held);
    }
    // The driver is about to discard what it holds: those bytes never leave the host.
    // Caller holds sendMutex.
    void UncountDriverOutputLocked() {
        const uint64_t h = handed.load();
        handed.store(h - std::min(h, DriverHeldLocked()));
    }
    // Writes queued bytes until the device would block. Returns errno of a failed write,
    // 0 otherwise. Caller holds sendMutex.
    int WriteQueuedLocked() {
        while (!sendQueue.empty()) {
            const std::vector<uint8_t>& block = sendQueue.front();
            const ssize_t n = ::write(fd, block.data() + sendOffset, block.size() - sendOffset);
            if (n > 0) {
                handed.store(handed.load() + static_cast<uint64_t>(n));
                sendOffset += static_cast<size_t>(n);
                if (sendOffset == block.size()) {
                    sendQueue.pop_front();
                    sendOffset = 0;
                }
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return 0;
            } else {
                const int error = n < 0 ? errno : EIO;
                DropSendQueueLocked();
                return error;
            }
        }
        return 0;
    }
    // False when the path no longer leads to the device opened (unplugged, or another device
    // in its place). A path that cannot be looked at for another reason counts as there.
    bool NodeStillThere() const {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return errno != ENOENT && errno != ENOTDIR && errno != ENODEV && errno != ENXIO;
        return st.st_dev == nodeDevice && st.st_ino == nodeInode;
    }
};

}  // namespace pelorin
