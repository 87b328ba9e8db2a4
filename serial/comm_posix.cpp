// cnComm on POSIX terminals: exclusive non-blocking open under a lock the kernel drops with the
// descriptor, raw termios line settings, and a monitor thread that waits in poll() (never
// spins), posts notifications, drains the send queue and notices a device that is gone. Modem
// lines and line error counts come from TIOCGICOUNT where the driver keeps them.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <linux/serial.h>  // struct serial_icounter_struct
#endif

#include "serial/comm.h"
#include "serial/comm_messages.h"
#include "serial/device_lock.h"
#include "serial/line_settings.h"
#include "serial/modem_control.h"

namespace pelorin {
namespace {

struct BaudRate {
    uint32_t baud;
    speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
#ifdef B4000000
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

bool SpeedOf(uint32_t baud, speed_t& speed) {
    for (const BaudRate& rate : kBaudRates)
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    return false;
}

uint32_t BaudOf(speed_t speed) {
    for (const BaudRate& rate : kBaudRates)
        if (rate.speed == speed) return rate.baud;
    return 9600;
}

// The settings a device has now, as the parser's starting point for fields a text leaves out.
LineSettings SettingsOf(const termios& tio) {
    LineSettings s;
    s.baud = BaudOf(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if (!(tio.c_cflag & PARENB)) s.parity = 'n';
#ifdef CMSPAR
    else if (tio.c_cflag & CMSPAR)
        s.parity = (tio.c_cflag & PARODD) ? 'm' : 's';
#endif
    else
        s.parity = (tio.c_cflag & PARODD) ? 'o' : 'e';
    if (tio.c_cflag & CSTOPB) s.stopHalves = s.dataBits == 5 ? 3 : 4;
    return s;
}

// Raw bytes both ways, receiver on, modem control lines ignored (never wait for carrier),
// no flow control of either kind, reads that return at once.
void MakeRaw(termios& tio) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

// False for combinations a UART cannot produce (termios has one stop-bit flag: with five data
// bits it means 1.5 stop bits, otherwise 2).
bool ApplySettings(const LineSettings& s, termios& tio) {
    speed_t speed;
    if (!SpeedOf(s.baud, speed)) return false;
    if (s.stopHalves == 3 && s.dataBits != 5) return false;
    if (s.stopHalves == 4 && s.dataBits == 5) return false;

    MakeRaw(tio);
    tcflag_t cflag = tio.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    cflag |= kSizes[s.dataBits - 5];
    switch (s.parity) {
        case 'e':
            cflag |= PARENB;
            break;
        case 'o':
            cflag |= PARENB | PARODD;
            break;
#ifdef CMSPAR
        case 'm':
            cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 's':
            cflag |= PARENB | CMSPAR;
            break;
#else
        case 'm':
        case 's':
            return false;
#endif
        default:
            break;
    }
    if (s.stopHalves != 2) cflag |= CSTOPB;
    tio.c_cflag = cflag;
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0;
}

// Line error and modem line counts the driver keeps; pseudo-terminals keep none.
struct LineCounters {
    int cts = 0, dsr = 0, ring = 0, carrier = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;

    bool ErrorsSince(const LineCounters& before) const {
        return frame != before.frame || overrun != before.overrun || parity != before.parity ||
               brk != before.brk || bufferOverrun != before.bufferOverrun;
    }
};

bool ReadLineCounters(int fd, LineCounters& out) {
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
bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

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

    std::thread monitor;
    std::future<int> monitorExit;
    std::atomic<bool> monitorRunning{false};
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

bool cnComm::OpenDevice() {
    if (IsOpen()) Close();
    Device& d = *device_;
    if (deviceName_.empty()) {
        SetLastError("COM" + std::to_string(portNumber_) + " names no device");
        return false;
    }
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
    MakeRaw(tio);
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

    if (!StartMonitor()) {
        Close();
        return false;
    }
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
    LineSettings parsed = SettingsOf(tio);
    if (!settings || !ParseLineSettings(settings, parsed)) {
        SetLastError(std::string("line settings \"") + (settings ? settings : "") +
                     "\" not understood");
        return false;
    }
    if (!ApplySettings(parsed, tio)) {
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

bool cnComm::StartMonitor() {
    Device& d = *device_;
    if (d.monitor.joinable() || d.wakeRead < 0 || !IsOpen()) return false;
    d.DrainWake();
    monitorPort_.store(portNumber_);
    d.monitorRunning.store(true);
    monitorActive_.store(true);
    try {
        std::packaged_task<int()> task([this] { return MonitorLoop(); });
        d.monitorExit = task.get_future();
        d.monitor = std::thread(std::move(task));
    } catch (const std::system_error& e) {
        d.monitorRunning.store(false);
        monitorActive_.store(false);
        SetLastError(std::string("cannot start the port monitor: ") + e.what());
        return false;
    }
    return true;
}

bool cnComm::StopMonitor(unsigned timeoutMs) {
    Device& d = *device_;
    if (!d.monitor.joinable()) return false;
    d.monitorRunning.store(false);
    d.Wake();
    const bool inTime =
        d.monitorExit.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
    d.monitor.join();
    if (!inTime) SetLastError("the port monitor did not end in time");
    return inTime;
}

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

    while (d.monitorRunning.load() && !d.gone.load()) {
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
        if (!d.monitorRunning.load() || d.gone.load()) break;

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
