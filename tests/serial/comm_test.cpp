// cnComm on real pseudo-terminals: notifications, reads, queued writes, open and close rules,
// line settings as the far end sees them, exclusive use and hang-up.
#include <termios.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#include "pty_pair.h"
#include "serial/comm.h"
#include "serial/comm_messages.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;

constexpr unsigned kPort = 40;
// Bounds a wait that should end long before; never a measure of speed.
constexpr auto kHangGuard = 10s;
// How long to watch for a notification that must not come.
constexpr auto kQuietPeriod = 200ms;

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

TEST_F(CommTest, ReopenRestartsTheMonitorAndKeepsTheTarget) {
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_FALSE(port.StartMonitor());  // one monitor per opening
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_TRUE(port.MonitorActive());

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
    port.Close();
    EXPECT_FALSE(port.StopMonitor(cnComm::kStopMonitorMs));
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
        cnComm second(names);
        EXPECT_FALSE(second.Open(kPort, "115200,n,8,1"));
        EXPECT_FALSE(second.IsOpen());
        EXPECT_FALSE(second.LastError().empty());
    }
    // The refused second open took nothing from the first.
    const uint8_t probe = 0x33;
    port.Write(&probe, 1);
    EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{probe});

    port.Close();
    cnComm second(names);
    EXPECT_TRUE(second.Open(kPort, "115200,n,8,1")) << second.LastError();
}

TEST_F(CommTest, FarEndHangUpEndsTheMonitorQuietly) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    // Leave a write queued against a far end that will never read.
    std::vector<uint8_t> big(64 * 1024, 0x55);
    port.Write(big.data(), static_cast<unsigned>(big.size()));
    pty.CloseMaster();

    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (port.MonitorActive() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(port.MonitorActive());  // ended, not spinning on the hang-up
    uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
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
