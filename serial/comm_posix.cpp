// cnComm on POSIX terminals: exclusive non-blocking open under a lock the kernel drops with the
// descriptor, raw termios line settings (termios_settings.h), reads and the send queue. The
// monitor thread is comm_monitor_posix.cpp.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>

#include "serial/comm_device_posix.h"
#include "serial/comm_messages.h"
#include "serial/device_lock.h"
#include "serial/line_settings.h"
#include "serial/modem_control.h"
#include "serial/termios_settings.h"

namespace pelorin {
namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

cnComm::cnComm(PortNameTable& names) : names_(names), device_(std::make_unique<Device>()) {
    int fds[2];
    if (::pipe(fds) == 0) {
        for (int fd : fds) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        device_->wakeRead = fds[0];
        device_->wakeWrite = fds[1];
    } else {
        SetLastSystemError("cannot create the monitor's wake-up pipe", errno);
    }
}

cnComm::~cnComm() {
    Close();
    CloseFd(device_->wakeRead);
    CloseFd(device_->wakeWrite);
}

bool cnComm::IsOpen() const {
    return device_->fd >= 0;
}

bool cnComm::OpenDeviceReusable() const {
    const Device& d = *device_;
    return IsOpen() && !d.gone.load() && monitorActive_.load() && d.path == deviceName_;
}

bool cnComm::OpenNativeDevice() {
    Device& d = *device_;
    // Opening a terminal raises DTR and RTS, even an open that is then refused: a port another
    // program holds is left unopened.
    if (DeviceLockHeld(deviceName_)) {
        SetLastSystemError("port in use", EBUSY);
        return false;
    }
    // Non-blocking: never wait for carrier; no controlling terminal: the line's state must not
    // signal this process.
    const int fd = ::open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastSystemError("cannot open", errno);
        return false;
    }
    // Only a lock that the kernel drops with the descriptor: the terminal's exclusive flag
    // outlives a killed process and would shut out every later run that is not root's.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetLastSystemError("port in use", errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return false;
    }
    // The open raised both lines; drop them before anything else. Pseudo-terminals have no
    // modem lines and refuse, which is no failure.
    (void)modemControl_->SetLines(fd, kModemDtr | kModemRts, false);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        SetLastSystemError("not a serial device", errno);
        ::close(fd);
        return false;
    }
    // Raw at once, keeping the speed: a fresh terminal would echo and edit lines until
    // SetState runs.
    MakeRawTermios(tio);
    (void)::tcsetattr(fd, TCSANOW, &tio);
    // Leave the lines alone on close too; they are off, and stay so.
    (void)modemControl_->SetDropOnClose(fd, false);

    struct stat node {};
    (void)::fstat(fd, &node);
    {
        std::lock_guard lock(d.sendMutex);
        d.fd = fd;
        d.DropSendQueueLocked();
        d.queued.store(0);
        d.handed.store(0);
    }
    d.path = deviceName_;
    d.nodeDevice = node.st_dev;
    d.nodeInode = node.st_ino;
    d.gone.store(false);
    d.receivePending.store(false);
    d.hasCounters = ReadLineCounters(fd, d.readBaseline);
    return true;
}

bool cnComm::SetupDevice() {
    if (!IsOpen()) return false;
    Device& d = *device_;
    // The tty layer's buffers have a fixed size (4096 bytes of input in the line discipline);
    // there is nothing to size here, only both directions to clear.
    int error = 0;
    {
        std::lock_guard lock(d.sendMutex);
        d.DropSendQueueLocked();
        d.UncountDriverOutputLocked();
        if (::tcflush(d.fd, TCIOFLUSH) != 0) error = errno;
    }
    if (error != 0) {
        SetLastSystemError("cannot clear the line", error);
        return false;
    }
    if (d.hasCounters) ReadLineCounters(d.fd, d.readBaseline);
    return true;
}

bool cnComm::SetState(const char* settings) {
    if (!IsOpen()) return false;
    Device& d = *device_;
    termios tio{};
    if (::tcgetattr(d.fd, &tio) != 0) {
        SetLastSystemError("cannot read the line settings", errno);
        return false;
    }
    LineSettings parsed = LineSettingsOf(tio);
    if (!settings || !ParseLineSettings(settings, parsed)) {
        SetLastError(std::string("line settings \"") + (settings ? settings : "") +
                     "\" not understood");
        return false;
    }
    if (!ApplyLineSettings(parsed, tio)) {
        SetLastError(std::string("line settings \"") + settings + "\" not supported here");
        return false;
    }
    // TCSANOW: a speed switch takes effect at once, also with bytes still waiting to be sent.
    if (::tcsetattr(d.fd, TCSANOW, &tio) != 0) {
        SetLastSystemError("cannot apply the line settings", errno);
        return false;
    }
    (void)modemControl_->SetLines(d.fd, kModemDtr | kModemRts, false);
    return true;
}

void cnComm::Close() {
    if (!IsOpen()) return;
    Device& d = *device_;
    {
        std::lock_guard lock(d.sendMutex);
        d.DropSendQueueLocked();
        d.UncountDriverOutputLocked();
        (void)::tcflush(d.fd, TCOFLUSH);
    }
    StopMonitor(kStopMonitorMs);
    std::lock_guard lock(d.sendMutex);
    CloseFd(d.fd);
}

unsigned cnComm::Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) {
    (void)timeoutMs;  // only bytes already arrived are taken: a read never waits
    if (!IsOpen()) return 0;
    Device& d = *device_;
    unsigned count = 0;
    if (d.gone.load()) {
        // nothing: the device is gone
    } else if (LineCounters now;
               d.hasCounters && ReadLineCounters(d.fd, now) && now.ErrorsSince(d.readBaseline)) {
        d.readBaseline = now;
        (void)::tcflush(d.fd, TCIFLUSH);
    } else if (buffer && maxLength > 0) {
        const ssize_t n = ::read(d.fd, buffer, maxLength);
        const int error = n < 0 ? errno : 0;
        if (n > 0)
            count = static_cast<unsigned>(n);
        else if (IsGoneError(error))
            MarkGone("read failed", error);
        else if (error != 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR)
            SetLastSystemError("read failed", error);
    }
    // Only after the read: data that arrived meanwhile is then seen by the monitor and
    // announced again, never lost.
    if (d.receivePending.exchange(false)) d.Wake();
    return count;
}

unsigned cnComm::Write(const uint8_t* data, unsigned length) {
    if (!IsOpen()) return 0;
    Device& d = *device_;
    if (d.gone.load() || !data || length == 0) return 0;
    bool wakeMonitor = false;
    bool allWritten = false;
    int error = 0;
    {
        std::lock_guard lock(d.sendMutex);
        const bool wasIdle = d.sendQueue.empty();
        d.sendQueue.emplace_back(data, data + length);
        d.queued.store(d.queued.load() + length);
        if (wasIdle) {
            // Nothing ahead of these bytes: hand the device what it takes now.
            error = d.WriteQueuedLocked();
            allWritten = error == 0 && d.sendQueue.empty();
            wakeMonitor = !d.sendQueue.empty();
        }
    }
    if (IsGoneError(error))
        MarkGone("write failed", error);
    else if (error != 0)
        SetLastSystemError("write failed", error);
    if (wakeMonitor) d.Wake();
    return allWritten ? length : 0;
}

uint64_t cnComm::BytesQueued() const {
    return device_->queued.load();
}

uint64_t cnComm::BytesLeftHost() const {
    Device& d = *device_;
    std::lock_guard lock(d.sendMutex);
    const uint64_t handed = d.handed.load();
    return handed - std::min(handed, d.DriverHeldLocked());
}

void cnComm::MarkGone(const char* what, int error) {
    Device& d = *device_;
    if (d.gone.exchange(true)) return;
    d.DropSendQueue();
    SetLastError(SystemErrorText(monitorPort_.load(), d.path, what, error));
    NotifyGone(error);
    d.Wake();  // the monitor ends on its next look
}

}  // namespace pelorin
