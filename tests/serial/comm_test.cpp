// cnComm on real pseudo-terminals: notifications, reads, queued writes, open and close rules,
// line settings as the far end sees them, the speed switch on the open device, modem lines,
// exclusive use across processes, a device that goes away, and the bytes that left the host.
#include <grp.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#include "pty_pair.h"
#include "serial/comm.h"
#include "serial/comm_messages.h"
#include "serial/modem_control.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;

constexpr unsigned kPort = 40;
// Bounds a wait that should end long before; never a measure of speed.
constexpr auto kHangGuard = 10s;
// How long to watch for a notification that must not come.
constexpr auto kQuietPeriod = 200ms;

// Polls `done` until it holds; false only if it never does within kHangGuard.
bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Opens and closes of one file, as the kernel reports them: shows whether the port touched
// the device's descriptor at all.
class OpenCloseWatch {
  public:
    explicit OpenCloseWatch(const std::string& path)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        ok_ = fd_ >= 0 && ::inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE) >= 0;
    }
    ~OpenCloseWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenCloseWatch(const OpenCloseWatch&) = delete;
    OpenCloseWatch& operator=(const OpenCloseWatch&) = delete;

    bool ok() const { return ok_; }
    // The events seen since the last call, IN_* bits or'ed together.
    uint32_t Take() const {
        uint32_t seen = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                seen |= event->mask;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        return seen;
    }

  private:
    int fd_;
    bool ok_ = false;
};

// Passes every modem-line call on to the system and keeps a record of it.
class RecordingModemControl final : public IModemControl {
  public:
    struct Call {
        bool dropOnClose;  // SetDropOnClose, else SetLines
        unsigned lines;
        bool on;
    };
    int SetLines(NativeDevice device, unsigned lines, bool on) override {
        calls.push_back({false, lines, on});
        return SystemModemControl().SetLines(device, lines, on);
    }
    int SetDropOnClose(NativeDevice device, bool drop) override {
        calls.push_back({true, 0, drop});
        return SystemModemControl().SetDropOnClose(device, drop);
    }
    std::vector<Call> calls;
};

class CommTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        names.Assign(kPort, pty.path());
        port.SetNotifyTarget(&queue);
    }

    // Next message other than WM_COMM_TXEMPTY, which the writer may post at any time.
    bool NextNotification(Message& m, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !queue.GetFor(m, left)) return false;
            if (m.id != WM_COMM_TXEMPTY) return true;
        }
    }
    bool NoNotificationFor(std::chrono::milliseconds period) {
        Message m;
        return !NextNotification(m, period);
    }
    // Waits for message `id`, passing over others; the worker's reads go on meanwhile.
    bool WaitFor(uint32_t id, Message& m, std::chrono::milliseconds limit = kHangGuard) {
        const auto end = std::chrono::steady_clock::now() + limit;
        uint8_t sink[4096];
        while (std::chrono::steady_clock::now() < end) {
            if (queue.GetFor(m, 10ms) && m.id == id) return true;
            (void)port.Read(sink, sizeof sink, 10);
        }
        return false;
    }

    PtyPair pty;
    PortNameTable names;
    MessageQueue queue;
    cnComm port{names};
};

TEST_F(CommTest, ArrivalRaisesOneNotificationUntilRead) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_EQ(port.DeviceName(), pty.path());

    ASSERT_TRUE(pty.Send({0x58}));
    Message m;
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    EXPECT_EQ(m.wParam, kPort);
    EXPECT_EQ(m.lParam, 0);
    EXPECT_TRUE(NoNotificationFor(kQuietPeriod));

    // Data keeps coming while nobody reads: still only the one notification.
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(pty.Send({static_cast<uint8_t>(i)}));
    ASSERT_TRUE(pty.WaitQueued(6));
    EXPECT_TRUE(NoNotificationFor(kQuietPeriod));

    uint8_t buffer[64] = {};
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 6u);
    EXPECT_EQ(buffer[0], 0x58);
    EXPECT_EQ(buffer[5], 4);
    // Everything was read: the read re-arms the monitor, which finds nothing new.
    EXPECT_TRUE(NoNotificationFor(kQuietPeriod));

    ASSERT_TRUE(pty.Send({1, 2, 3}));
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    ASSERT_TRUE(pty.WaitQueued(3));
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 3u);
}

TEST_F(CommTest, ReadTakesOnlyWhatHasArrivedUpToMaxLength) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    uint8_t buffer[256] = {};
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    // A long time-out does not make an empty read wait (the guard only catches a hang).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 60000), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard);

    std::vector<uint8_t> sent(100);
    std::iota(sent.begin(), sent.end(), uint8_t{0});
    ASSERT_TRUE(pty.Send(sent));
    ASSERT_TRUE(pty.WaitQueued(100));
    ASSERT_EQ(port.Read(buffer, 10, 10), 10u);
    EXPECT_EQ(std::memcmp(buffer, sent.data(), 10), 0);
    EXPECT_EQ(pty.Queued(), 90);
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 90u);
    EXPECT_EQ(std::memcmp(buffer, sent.data() + 10, 90), 0);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    EXPECT_EQ(port.Read(nullptr, 0, 10), 0u);
}

TEST_F(CommTest, QueuedWritesArriveWholeAndInOrderWithoutBlockingTheWriter) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    constexpr size_t kBlockBytes = 10240;
    constexpr int kBlocks = 8;  // far more than the terminal buffers: most of it must queue
    std::vector<uint8_t> expected;
    std::vector<uint8_t> block(kBlockBytes);
    for (int b = 0; b < kBlocks; ++b) {
        for (size_t i = 0; i < kBlockBytes; ++i) block[i] = static_cast<uint8_t>(i * 7 + b * 31);
        expected.insert(expected.end(), block.begin(), block.end());
        // Nobody reads the far end yet; a blocking write would hang here.
        port.Write(block.data(), kBlockBytes);
        // The port must have copied the bytes: the caller reuses its buffer at once.
        std::fill(block.begin(), block.end(), uint8_t{0xEE});
    }
    const std::vector<uint8_t> got = pty.Receive(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);

    // Once drained, the monitor says so.
    Message m;
    bool txEmpty = false;
    while (!txEmpty && queue.GetFor(m, kHangGuard)) txEmpty = m.id == WM_COMM_TXEMPTY;
    EXPECT_TRUE(txEmpty);
}

TEST_F(CommTest, OpenAndCloseRules) {
    const uint8_t probe = 0x5A;
    EXPECT_EQ(port.Write(&probe, 1), 0u);  // never opened
    uint8_t buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    port.Close();  // never opened: harmless
    EXPECT_FALSE(port.IsOpen());

    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_FALSE(port.Open(0, "9600,n,8,1"));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(port.Open(1025, "9600,n,8,1"));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.PortNumber(), kPort);
    // Still the same working port.
    port.Write(&probe, 1);
    EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{probe});

    // A text the parser rejects fails, but the device stays open with its monitor.
    EXPECT_FALSE(port.Open(kPort, "fast,n,8,1"));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.MonitorActive());
    EXPECT_FALSE(port.SetState("9600,q,8,1"));
    EXPECT_FALSE(port.SetState("9600,n,9,1"));
    EXPECT_FALSE(port.SetState("14400,n,8,1"));   // parsed, but no such terminal speed
    EXPECT_FALSE(port.SetState("9600,n,8,1.5"));  // 1.5 stop bits only with 5 data bits
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.MonitorActive());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Write(&probe, 1), 0u);
    EXPECT_FALSE(port.SetState("9600,n,8,1"));
    EXPECT_FALSE(port.SetupDevice());

    // A number that names no device fails and leaves the object closed.
    EXPECT_FALSE(port.Open(1000, "9600,n,8,1"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.LastError().empty());
    // Numbers up to 1024 reach a device once it is given one.
    names.Assign(1024, pty.path());
    ASSERT_TRUE(port.Open(1024, "9600,n,8,1")) << port.LastError();
    port.Close();
}

TEST_F(CommTest, OneMonitorPerOpeningAndTheTargetIsKept) {
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_FALSE(port.StartMonitor());  // one monitor per opening
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_TRUE(port.MonitorActive());
    EXPECT_FALSE(port.StartMonitor());  // the speed switch kept the one there was

    ASSERT_TRUE(pty.Send({0x41}));
    Message m;
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    EXPECT_EQ(m.wParam, kPort);

    // Stop and start by hand, as Close and OpenDevice do.
    constexpr unsigned kGenerousMs = 10000;  // the true result must not hang on a slow machine
    EXPECT_TRUE(port.StopMonitor(kGenerousMs));
    EXPECT_FALSE(port.MonitorActive());
    EXPECT_FALSE(port.StopMonitor(kGenerousMs));
    EXPECT_TRUE(port.StartMonitor());
    EXPECT_TRUE(port.StopMonitor(kGenerousMs));
    // Without its monitor the device is not switched as it is but opened afresh, monitor and
    // all.
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_TRUE(port.MonitorActive());
    port.Close();
    EXPECT_FALSE(port.StopMonitor(cnComm::kStopMonitorMs));
}

TEST_F(CommTest, SpeedSwitchKeepsTheDeviceOpenAndTheModemLinesOff) {
    // The terminal starts out dropping the lines on close, as serial ports do.
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave(), &tio), 0);
    tio.c_cflag |= HUPCL;
    ASSERT_EQ(::tcsetattr(pty.slave(), TCSANOW, &tio), 0);
    RecordingModemControl lines;
    port.SetModemControl(&lines);

    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    // The open dropped DTR and RTS before anything else, and made a close leave them alone.
    ASSERT_FALSE(lines.calls.empty());
    EXPECT_FALSE(lines.calls.front().dropOnClose);
    EXPECT_EQ(lines.calls.front().lines, kModemDtr | kModemRts);
    EXPECT_FALSE(lines.calls.front().on);
    ASSERT_EQ(::tcgetattr(pty.slave(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & HUPCL, 0u);

    // Bytes that arrived and were not read yet, and bytes still waiting to be sent.
    ASSERT_TRUE(pty.Send({1, 2, 3}));
    ASSERT_TRUE(pty.WaitQueued(3));
    std::vector<uint8_t> out(64 * 1024);
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 13);
    port.Write(out.data(), static_cast<unsigned>(out.size()));

    OpenCloseWatch watch(pty.path());
    ASSERT_TRUE(watch.ok());
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_EQ(watch.Take(), 0u);  // neither closed nor opened again
    ASSERT_EQ(::tcgetattr(pty.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_TRUE(port.MonitorActive());
    uint8_t buffer[16] = {};
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 3u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 3), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(pty.Receive(out.size()) == out);

    port.Close();
    EXPECT_NE(watch.Take() & IN_CLOSE_WRITE, 0u);  // the watch does see a close
    // Through open, switch and close, the lines were only ever dropped.
    for (const RecordingModemControl::Call& call : lines.calls) {
        EXPECT_FALSE(call.on);
        if (!call.dropOnClose) {
            EXPECT_EQ(call.lines, kModemDtr | kModemRts);
        }
    }
    port.SetModemControl(nullptr);
}

TEST_F(CommTest, WithoutALiveTargetNothingIsPostedAndTheMonitorGoesOn) {
    port.SetNotifyTarget(nullptr);
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    ASSERT_TRUE(pty.Send({1, 2}));
    ASSERT_TRUE(pty.WaitQueued(2));
    EXPECT_TRUE(port.MonitorActive());
    uint8_t buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 2u);
    EXPECT_EQ(queue.Size(), 0u);

    MessageQueue gone;
    gone.CloseQueue();
    port.SetNotifyTarget(&gone);
    ASSERT_TRUE(pty.Send({3}));
    ASSERT_TRUE(pty.WaitQueued(1));
    EXPECT_TRUE(port.MonitorActive());
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 1u);
    port.Close();
}

TEST_F(CommTest, FarEndSeesTheLineSettings) {
    struct Case {
        const char* text;
        speed_t speed;
        tcflag_t parity;  // PARENB | PARODD | CMSPAR bits expected
        bool stopFlag;
    };
    const Case cases[] = {
        {"9600,n,8,1", B9600, 0, false},
        {"38400,n,8,1", B38400, 0, false},
        {"57600,n,8,1", B57600, 0, false},
        {"115200,n,8,1", B115200, 0, false},
        {"19200,e,7,2", B19200, PARENB, true},
        {"1200,O,5,1.5", B1200, PARENB | PARODD, true},
        {"96,m,8,1", B9600, PARENB | PARODD | CMSPAR, false},
        {" 4800 , s , 6 , 1 , x", B4800, PARENB | CMSPAR, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(port.Open(kPort, c.text)) << port.LastError();
        termios tio{};
        ASSERT_EQ(::tcgetattr(pty.master(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        // A pseudo-terminal keeps itself 8 bits without parity (the kernel forces CS8 and
        // clears PARENB); the other framing bits stay as set and show what was asked for.
        EXPECT_EQ(tio.c_cflag & CSIZE, CS8);
        EXPECT_EQ(tio.c_cflag & PARENB, 0u);
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.parity & ~PARENB);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopFlag);
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    }
    // A text that names only the speed keeps the framing already set.
    ASSERT_TRUE(port.SetState("19200,n,8,2"));
    ASSERT_TRUE(port.SetState("2400"));
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.master(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B2400);
    EXPECT_EQ(tio.c_cflag & CSTOPB, CSTOPB);
    port.Close();
}

TEST_F(CommTest, APortInUseCannotBeOpenedAgain) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    {
        OpenCloseWatch watch(pty.path());
        ASSERT_TRUE(watch.ok());
        cnComm second(names);
        EXPECT_FALSE(second.Open(kPort, "115200,n,8,1"));
        EXPECT_FALSE(second.IsOpen());
        EXPECT_FALSE(second.LastError().empty());
        // Refused without opening the device: an open would raise the holder's DTR and RTS.
        EXPECT_EQ(watch.Take() & IN_OPEN, 0u);
    }
    // The refused second open took nothing from the first.
    const uint8_t probe = 0x33;
    port.Write(&probe, 1);
    EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{probe});

    port.Close();
    cnComm second(names);
    EXPECT_TRUE(second.Open(kPort, "115200,n,8,1")) << second.LastError();
}

// Runs an Open of port kPort in a child process as the unprivileged user: "" when it
// succeeded, else why not.
std::string OpenAsNobody(PortNameTable& names) {
    constexpr uid_t kNobody = 65534;
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child < 0) return "no child";
    if (child == 0) {
        ::close(out[0]);
        std::string error;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            error = "cannot become nobody";
        } else {
            cnComm comm(names);
            if (!comm.Open(kPort, "115200,n,8,1"))
                error = comm.LastError().empty() ? "refused" : comm.LastError();
        }
        [[maybe_unused]] ssize_t n = ::write(out[1], error.data(), error.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) text += " (child failed)";
    return text;
}

TEST_F(CommTest, ExclusiveUseEndsWithTheHoldingProcess) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run an opener as another user";
    ASSERT_EQ(::chmod(pty.path().c_str(), 0666), 0);

    // A child process takes the port and is killed without closing it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::close(ready[0]);
        cnComm comm(names);
        const char opened = comm.Open(kPort, "115200,n,8,1") ? 1 : 0;
        [[maybe_unused]] ssize_t n = ::write(ready[1], &opened, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char opened = 0;
    const bool told = ::read(ready[0], &opened, 1) == 1;
    ::close(ready[0]);
    if (!told || opened != 1) {
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        FAIL() << "the holding child could not open the port";
    }

    // While it holds the port, neither this process nor another user's gets it.
    EXPECT_FALSE(port.Open(kPort, "115200,n,8,1"));
    EXPECT_NE(OpenAsNobody(names), "");

    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    // Its death ended its hold, also for a user who may not override anything.
    EXPECT_EQ(OpenAsNobody(names), "");
    EXPECT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    port.Close();
}

TEST_F(CommTest, FarEndHangUpMidStreamPostsOneGoneNotice) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    // Traffic both ways: a write queued against a far end that never reads, and bytes that
    // arrived and wait to be read.
    std::vector<uint8_t> big(64 * 1024, 0x55);
    port.Write(big.data(), static_cast<unsigned>(big.size()));
    ASSERT_TRUE(pty.Send(std::vector<uint8_t>(512, 0x2A)));
    Message m;
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    pty.CloseMaster();

    // Reads go on as the worker's would: whichever side sees the loss first, it is told once.
    ASSERT_TRUE(WaitFor(WM_COMM_GONE, m));
    EXPECT_EQ(m.wParam, kPort);
    EXPECT_EQ(m.lParam, EIO);
    EXPECT_FALSE(port.LastError().empty());
    EXPECT_FALSE(WaitFor(WM_COMM_GONE, m, kQuietPeriod));
    EXPECT_TRUE(WaitUntil([&] { return !port.MonitorActive(); }));  // ended, not spinning
    uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(WaitFor(WM_COMM_GONE, m, kQuietPeriod));
}

TEST_F(CommTest, ADeviceNodeThatDisappearsEndsThePort) {
    // A link stands for the device node: removing it is what unplugging does to /dev/ttyUSB0.
    const std::string link = ::testing::TempDir() + "pelorin_comm_test_board";
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(pty.path().c_str(), link.c_str()), 0);
    names.Assign(kPort, link);
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    ASSERT_EQ(::unlink(link.c_str()), 0);

    Message m;
    ASSERT_TRUE(WaitFor(WM_COMM_GONE, m));
    EXPECT_EQ(m.wParam, kPort);
    EXPECT_EQ(m.lParam, ENODEV);
    EXPECT_NE(port.LastError().find(link), std::string::npos);
    EXPECT_TRUE(WaitUntil([&] { return !port.MonitorActive(); }));
    const uint8_t probe = 0x42;
    EXPECT_EQ(port.Write(&probe, 1), 0u);

    // Back again: the same port number opens the device afresh rather than switching the
    // lost one.
    ASSERT_EQ(::symlink(pty.path().c_str(), link.c_str()), 0);
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_TRUE(port.MonitorActive());
    port.Write(&probe, 1);
    EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{probe});
    port.Close();
    ::unlink(link.c_str());
}

TEST_F(CommTest, BytesLeftHostCountsWhatTheDriverLetGo) {
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_EQ(port.BytesQueued(), 0u);
    EXPECT_EQ(port.BytesLeftHost(), 0u);
    // Another thread asks all along, as a progress display would, also across close and open.
    std::atomic<bool> asking{true};
    std::thread asker([&] {
        uint64_t sum = 0;
        while (asking.load()) sum += port.BytesLeftHost() + port.BytesQueued();
        (void)sum;
    });

    // Far more than the terminal can buffer, and the far end reads nothing yet.
    constexpr unsigned kFirst = 200000, kSecond = 30000;
    std::vector<uint8_t> block(kFirst, 0x11);
    port.Write(block.data(), kFirst);
    EXPECT_EQ(port.BytesQueued(), kFirst);
    for (int i = 0; i < 20; ++i) {
        const uint64_t left = port.BytesLeftHost();
        EXPECT_LE(left, port.BytesQueued());
        EXPECT_LT(left, kFirst);
        std::this_thread::sleep_for(1ms);
    }
    // The speed switch keeps counting.
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    port.Write(block.data(), kSecond);
    EXPECT_EQ(port.BytesQueued(), kFirst + kSecond);
    ASSERT_EQ(pty.Receive(kFirst + kSecond).size(), kFirst + kSecond);
    EXPECT_TRUE(WaitUntil([&] { return port.BytesLeftHost() == kFirst + kSecond; }))
        << port.BytesLeftHost();

    // A real close and open counts afresh.
    port.Close();
    EXPECT_EQ(port.BytesLeftHost(), kFirst + kSecond);
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_EQ(port.BytesQueued(), 0u);
    EXPECT_EQ(port.BytesLeftHost(), 0u);
    port.Close();
    asking.store(false);
    asker.join();
}

TEST_F(CommTest, CloseDropsQueuedBytesAndReturnsPromptly) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    std::vector<uint8_t> big(256 * 1024, 0x66);
    port.Write(big.data(), static_cast<unsigned>(big.size()));
    // The far end never reads; Close must neither wait for it nor leave the monitor behind.
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.MonitorActive());
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    port.Close();
}

}  // namespace
}  // namespace pelorin
