// cnComm on real pseudo-terminals: notifications, reads, queued writes, open and close rules,
// line settings as the far end sees them, the speed switch on the open device, modem lines,
// exclusive use across processes, a device that goes away, and the bytes that left the host.
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#include "serial/comm.h"
#include "serial/comm_messages.h"
#include "serial/modem_control.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

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

// The port opens the slave by its path; the test plays the far end on the master. The slave
// stays open here so that the terminal survives the port's closes and shows what waits there.
struct PtyPair {
    PtyPair() {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0) ::close(slave);
    }
    void CloseMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    bool Send(const Bytes& b) const {
        return ::write(master, b.data(), b.size()) == ssize_t(b.size());
    }
    // Bytes waiting to be read at the port's end.
    int Queued() const {
        int n = 0;
        return ::ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }
    bool WaitQueued(int count) const {
        return WaitUntil([&] { return Queued() >= count; });
    }
    // Reads `count` bytes at the far end; fewer if nothing comes within the guard.
    Bytes Receive(size_t count) const {
        Bytes got(count);
        size_t have = 0;
        for (pollfd p{master, POLLIN, 0}; have<count&& ::poll(&p, 1, 10000)> 0;) {
            const ssize_t n = ::read(master, got.data() + have, count - have);
            if (n <= 0) break;
            have += size_t(n);
        }
        got.resize(have);
        return got;
    }
    int master = -1, slave = -1;
    std::string path;
};

// Opens and closes of one file, as the kernel reports them: shows whether the port touched
// the device's descriptor at all.
struct OpenCloseWatch {
    explicit OpenCloseWatch(const std::string& path)
        : fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        ok = fd >= 0 && ::inotify_add_watch(fd, path.c_str(), IN_OPEN | IN_CLOSE) >= 0;
    }
    ~OpenCloseWatch() { ::close(fd); }
    // The events seen since the last call, IN_* bits or'ed together.
    uint32_t Take() const {
        uint32_t seen = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                seen |= event->mask;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        return seen;
    }
    int fd;
    bool ok = false;
};

// Passes every modem-line call on to the system and keeps a record of it.
class RecordingModemControl final : public IModemControl {
  public:
    int SetLines(NativeDevice device, unsigned lines, bool on) override {
        calls.push_back(std::string(on ? "raise" : "drop") + (lines & kModemDtr ? " DTR" : "") +
                        (lines & kModemRts ? " RTS" : ""));
        return SystemModemControl().SetLines(device, lines, on);
    }
    int SetDropOnClose(NativeDevice device, bool drop) override {
        calls.push_back(drop ? "drop on close" : "keep on close");
        return SystemModemControl().SetDropOnClose(device, drop);
    }
    std::vector<std::string> calls;
};

// Runs `body` in a child process and returns what it said. The child then ends; given
// `holder`, it lives on, keeping what it opened, until the test kills it.
std::string InChild(const std::function<std::string()>& body, pid_t* holder = nullptr) {
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        const std::string said = body();
        [[maybe_unused]] ssize_t n = ::write(out[1], said.data(), said.size());
        ::close(out[1]);
        while (holder) ::pause();
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; child > 0 && (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    ::close(out[0]);
    if (holder)
        *holder = child;
    else if (child > 0)
        ::waitpid(child, nullptr, 0);
    return child < 0 ? "no child" : text;
}

class CommTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.path.empty());
        names.Assign(kPort, pty.path);
        port.SetNotifyTarget(&queue);
    }
    // The id of the next message other than WM_COMM_TXEMPTY (which the writer may post at any
    // time), kept in `last`; 0 when none comes within `limit`.
    uint32_t Next(std::chrono::milliseconds limit = kHangGuard) {
        using namespace std::chrono;
        for (const auto end = steady_clock::now() + limit;
             queue.GetFor(last, duration_cast<milliseconds>(end - steady_clock::now()));)
            if (last.id != WM_COMM_TXEMPTY) return last.id;
        return 0;
    }
    // Waits for message `id`, passing over others; the worker's reads go on meanwhile.
    bool WaitFor(uint32_t id, std::chrono::milliseconds limit = kHangGuard) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (uint8_t sink[4096]; std::chrono::steady_clock::now() < end;
             port.Read(sink, sizeof sink, 10))
            if (queue.GetFor(last, 10ms) && last.id == id) return true;
        return false;
    }
    // The loss is told once, with its cause; the monitor ends, and reads and writes do nothing.
    void ExpectGoneOnce(int64_t error) {
        ASSERT_TRUE(WaitFor(WM_COMM_GONE));
        EXPECT_EQ(last.wParam, kPort);
        EXPECT_EQ(last.lParam, error);
        EXPECT_FALSE(WaitFor(WM_COMM_GONE, kQuietPeriod));
        EXPECT_TRUE(WaitUntil([&] { return !port.MonitorActive(); }));  // ended, not spinning
        uint8_t buffer[16] = {};
        EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
        EXPECT_EQ(port.Write(buffer, sizeof buffer), 0u);
        EXPECT_TRUE(port.IsOpen());
    }

    PtyPair pty;
    PortNameTable names;
    MessageQueue queue;
    Message last;
    cnComm port{names};
};

TEST_F(CommTest, ReadsTakeWhatArrivedAndOneNotificationWaitsForThem) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    uint8_t buffer[256] = {};
    // A long time-out does not make an empty read wait (the guard only catches a hang).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 60000), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard);

    ASSERT_TRUE(pty.Send({0x58}));
    EXPECT_EQ(Next(), WM_COMM_RXCHAR);
    EXPECT_EQ(last.wParam, kPort);
    // Data keeps coming while nobody reads: still only the one notification.
    Bytes sent(100);
    std::iota(sent.begin(), sent.end(), uint8_t{0});
    ASSERT_TRUE(pty.Send(sent));
    ASSERT_TRUE(pty.WaitQueued(101));
    EXPECT_EQ(Next(kQuietPeriod), 0u);
    ASSERT_EQ(port.Read(buffer, 10, 10), 10u);
    EXPECT_EQ(Bytes(buffer, buffer + 10), (Bytes{0x58, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(pty.Queued(), 91);
    // What a read leaves behind is announced again, never lost.
    EXPECT_EQ(Next(), WM_COMM_RXCHAR);
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 91u);
    EXPECT_EQ(buffer[90], 99);
    // Everything was read: the read re-arms the monitor, which finds nothing new.
    EXPECT_EQ(Next(kQuietPeriod), 0u);
    ASSERT_TRUE(pty.Send({1, 2, 3}));
    EXPECT_EQ(Next(), WM_COMM_RXCHAR);
    port.Close();

    // Without a live target nothing is posted, and the monitor goes on.
    MessageQueue gone;
    gone.CloseQueue();
    for (MessageQueue* target : {static_cast<MessageQueue*>(nullptr), &gone}) {
        port.SetNotifyTarget(target);
        ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
        ASSERT_TRUE(pty.Send({4, 5}));
        ASSERT_TRUE(pty.WaitQueued(2));
        EXPECT_TRUE(port.MonitorActive());
        EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 2u);
        port.Close();
    }
    EXPECT_EQ(queue.Size(), 0u);
}

TEST_F(CommTest, QueuedWritesArriveWholeInOrderAndCloseDropsTheRest) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    Bytes expected, block(10240);
    for (int b = 0; b < 8; ++b) {  // far more than the terminal buffers: most of it must queue
        for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + b * 31);
        expected.insert(expected.end(), block.begin(), block.end());
        // Nobody reads the far end yet; a blocking write would hang here.
        port.Write(block.data(), unsigned(block.size()));
        // The port must have copied the bytes: the caller reuses its buffer at once.
        std::fill(block.begin(), block.end(), uint8_t{0xEE});
    }
    EXPECT_TRUE(pty.Receive(expected.size()) == expected);
    EXPECT_TRUE(WaitFor(WM_COMM_TXEMPTY));  // once drained, the monitor says so

    // The far end never reads this; Close must neither wait for it nor leave the monitor behind.
    Bytes big(256 * 1024, 0x66);
    port.Write(big.data(), unsigned(big.size()));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.MonitorActive());
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
}

TEST_F(CommTest, OpenAndCloseRules) {
    const uint8_t probe = 0x5A;
    port.Close();  // never opened: harmless
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    // A number out of range fails before anything changes; a text the parser or the terminal
    // refuses fails, but the device stays open with its monitor.
    struct Bad {
        unsigned port;
        const char* settings;
    };
    for (const Bad& bad : {Bad{0, "9600,n,8,1"}, Bad{1025, "9600,n,8,1"}, Bad{kPort, "fast,n,8,1"},
                           Bad{kPort, "14400,n,8,1"}, Bad{kPort, "9600,n,8,1.5"}}) {
        EXPECT_FALSE(port.Open(bad.port, bad.settings)) << bad.port << " " << bad.settings;
        EXPECT_TRUE(port.IsOpen());
        EXPECT_TRUE(port.MonitorActive());
    }
    // Still the same working port.
    port.Write(&probe, 1);
    EXPECT_EQ(pty.Receive(1), Bytes{probe});
    port.Close();
    EXPECT_EQ(port.Write(&probe, 1), 0u);
    EXPECT_FALSE(port.SetState("9600,n,8,1"));
    // A number that names no device fails and leaves the object closed.
    EXPECT_FALSE(port.Open(1000, "9600,n,8,1"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.LastError().empty());
    // Numbers up to 1024 reach a device once it is given one.
    names.Assign(1024, pty.path);
    EXPECT_TRUE(port.Open(1024, "9600,n,8,1")) << port.LastError();
}

// Boards wire DTR and RTS to reset and boot pins: the switch to the loader's speed must not
// close the device (a reopen raises them), and nothing the port does may raise them.
TEST_F(CommTest, SpeedSwitchKeepsTheDeviceOpenAndTheModemLinesOff) {
    // The terminal starts out dropping the lines on close, as serial ports do.
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    tio.c_cflag |= HUPCL;
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &tio), 0);
    RecordingModemControl lines;
    port.SetModemControl(&lines);

    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    // The open dropped DTR and RTS before anything else, and made a close leave them alone.
    ASSERT_FALSE(lines.calls.empty());
    EXPECT_EQ(lines.calls.front(), "drop DTR RTS");
    ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(tio.c_cflag & HUPCL, 0u);

    // Bytes that arrived and were not read yet, and bytes still waiting to be sent.
    ASSERT_TRUE(pty.Send({1, 2, 3}));
    ASSERT_TRUE(pty.WaitQueued(3));
    Bytes out(64 * 1024);
    for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(i * 13);
    port.Write(out.data(), unsigned(out.size()));

    OpenCloseWatch watch(pty.path);
    ASSERT_TRUE(watch.ok);
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_EQ(watch.Take(), 0u);  // neither closed nor opened again
    ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_TRUE(port.MonitorActive());
    uint8_t buffer[16] = {};
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
    EXPECT_TRUE(pty.Receive(out.size()) == out);

    port.Close();
    EXPECT_NE(watch.Take() & IN_CLOSE_WRITE, 0u);  // the watch does see a close
    for (const std::string& call : lines.calls)
        EXPECT_TRUE(call == "drop DTR RTS" || call == "keep on close") << call;
    port.SetModemControl(nullptr);
}

TEST_F(CommTest, FarEndSeesTheLineSettings) {
    struct Case {
        const char* text;
        speed_t speed;
        tcflag_t parity;
        bool twoStopBits;
    };  // parity: PARODD, CMSPAR
    const Case cases[] = {
        {"9600,n,8,1", B9600, 0, false},
        {"115200,n,8,1", B115200, 0, false},
        {"19200,e,7,2", B19200, 0, true},
        {"1200,O,5,1.5", B1200, PARODD, true},
        {"96,m,8,1", B9600, PARODD | CMSPAR, false},
        {" 4800 , s , 6 , 1 , x", B4800, CMSPAR, false},
    };
    termios tio{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(port.Open(kPort, c.text)) << port.LastError();
        ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        // A pseudo-terminal keeps itself 8 bits without parity (the kernel forces CS8 and
        // clears PARENB); the other framing bits stay as set and show what was asked for.
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.parity);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(tio.c_cflag & (CRTSCTS | CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        // Raw bytes both ways: no flow control, line editing, signals or output processing.
        EXPECT_EQ((tio.c_iflag & (IXON | IXOFF | IXANY)) | (tio.c_lflag & (ICANON | ECHO | ISIG)) |
                      (tio.c_oflag & OPOST),
                  0u);
    }
    // A text that names only the speed keeps the framing already set.
    ASSERT_TRUE(port.SetState("19200,n,8,2"));
    ASSERT_TRUE(port.SetState("2400"));
    ASSERT_EQ(::tcgetattr(pty.master, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B2400);
    EXPECT_EQ(tio.c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

// One user at a time: a second opener is refused without touching the device (an open would
// raise the holder's DTR and RTS). The lock ends with the process that holds it, even one
// killed without closing, and even for a user who may not override anything.
TEST_F(CommTest, ExclusiveUseEndsWithTheHoldingProcess) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    {
        OpenCloseWatch watch(pty.path);
        ASSERT_TRUE(watch.ok);
        cnComm second(names);
        EXPECT_FALSE(second.Open(kPort, "115200,n,8,1"));
        EXPECT_FALSE(second.LastError().empty());
        EXPECT_EQ(watch.Take() & IN_OPEN, 0u);
    }
    const uint8_t probe = 0x33;  // the refused open took nothing from the first
    port.Write(&probe, 1);
    EXPECT_EQ(pty.Receive(1), Bytes{probe});
    port.Close();

    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run an opener as another user";
    ASSERT_EQ(::chmod(pty.path.c_str(), 0666), 0);
    const auto openAsNobody = [&] {
        return InChild([&]() -> std::string {
            constexpr uid_t kNobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                return "cannot become nobody";
            cnComm comm(names);
            return comm.Open(kPort, "115200,n,8,1") ? "" : "refused: " + comm.LastError();
        });
    };
    pid_t holder = -1;
    const std::string held = InChild(
        [&]() -> std::string {
            auto* comm = new cnComm(names);  // kept open until the process is killed
            return comm->Open(kPort, "115200,n,8,1") ? "" : "refused: " + comm->LastError();
        },
        &holder);
    ASSERT_GT(holder, 0);
    EXPECT_EQ(held, "");
    EXPECT_FALSE(port.Open(kPort, "115200,n,8,1"));
    EXPECT_NE(openAsNobody(), "");
    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    EXPECT_EQ(openAsNobody(), "");
    EXPECT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
}

// An unplugged device (its node removed) and a far end that hangs up mid-stream are each told
// once, with their cause, whichever of the monitor and the worker's reads sees it first.
TEST_F(CommTest, ALostDevicePostsOneGoneNotice) {
    // A link stands for the device node: removing it is what unplugging does to /dev/ttyUSB0.
    const std::string link = ::testing::TempDir() + "pelorin_comm_test_board";
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(pty.path.c_str(), link.c_str()), 0);
    names.Assign(kPort, link);
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    ASSERT_EQ(::unlink(link.c_str()), 0);
    ExpectGoneOnce(ENODEV);
    EXPECT_NE(port.LastError().find(link), std::string::npos);

    // Back again: the same number opens the device afresh rather than switching the lost one.
    ASSERT_EQ(::symlink(pty.path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_TRUE(port.MonitorActive());
    // Traffic both ways when the far end hangs up: a write queued against a far end that
    // never reads, and bytes that arrived and wait to be read.
    Bytes big(64 * 1024, 0x55);
    port.Write(big.data(), unsigned(big.size()));
    ASSERT_TRUE(pty.Send(Bytes(512, 0x2A)));
    ASSERT_EQ(Next(), WM_COMM_RXCHAR);
    pty.CloseMaster();
    ExpectGoneOnce(EIO);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(WaitFor(WM_COMM_GONE, kQuietPeriod));
    ::unlink(link.c_str());
}

// Asked from another thread all along, as a progress display does, also across close and open.
TEST_F(CommTest, BytesLeftHostCountsWhatTheDriverLetGo) {
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_EQ(port.BytesQueued(), 0u);
    EXPECT_EQ(port.BytesLeftHost(), 0u);
    std::atomic<bool> asking{true};
    std::thread asker([&] {
        for (uint64_t sum = 0; asking.load();) sum += port.BytesLeftHost() + port.BytesQueued();
    });
    // Far more than the terminal can buffer, and the far end reads nothing yet.
    constexpr unsigned kFirst = 200000, kSecond = 30000;
    Bytes block(kFirst, 0x11);
    port.Write(block.data(), kFirst);
    EXPECT_EQ(port.BytesQueued(), kFirst);
    EXPECT_LT(port.BytesLeftHost(), kFirst);
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

}  // namespace
}  // namespace pelorin
