// cnComm on Windows, run under Wine against a pseudo-terminal pair that Wine shows as COM40
// and COM41 (pelorin-pty-bridge): notifications, reads, queued writes, open and close rules,
// line settings as the far end sees them, vanished devices, and exclusive use where the
// system enforces it.
#include <windows.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "serial/comm.h"
#include "serial/comm_messages.h"
#include "wine/wine_ports.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using test::Bridge;
using test::FarEnd;

constexpr unsigned kPort = test::kPortUnderTest;
// Bounds a wait that should end long before; never a measure of speed.
constexpr auto kHangGuard = 10s;
// How long to watch for a notification that must not come.
constexpr auto kQuietPeriod = 200ms;

class CommWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bridge.ok()) GTEST_SKIP() << "no COM port pair: pelorin-pty-bridge is not running";
        ASSERT_TRUE(farEnd.ok()) << "COM" << test::kFarEndPort << " cannot be opened";
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

    Bridge bridge;
    FarEnd farEnd;
    PortNameTable names;
    MessageQueue queue;
    cnComm port{names};
};

TEST_F(CommWin32Test, ArrivalRaisesOneNotificationUntilRead) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_EQ(port.DeviceName(), "\\\\.\\COM40");

    ASSERT_TRUE(farEnd.Send({0x58}));
    Message m;
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    EXPECT_EQ(m.wParam, kPort);
    EXPECT_EQ(m.lParam, 0);

    // Data keeps coming while nobody reads: still only the one notification.
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(farEnd.Send({static_cast<uint8_t>(i)}));
    ASSERT_TRUE(bridge.WaitQueued(6));
    EXPECT_TRUE(NoNotificationFor(kQuietPeriod));

    uint8_t buffer[64] = {};
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 6u);
    EXPECT_EQ(buffer[0], 0x58);
    EXPECT_EQ(buffer[5], 4);
    // Everything was read: the read re-arms the monitor, which finds nothing new.
    EXPECT_TRUE(NoNotificationFor(kQuietPeriod));

    ASSERT_TRUE(farEnd.Send({1, 2, 3}));
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    ASSERT_TRUE(bridge.WaitQueued(3));
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 3u);
}

TEST_F(CommWin32Test, ReadTakesOnlyWhatHasArrivedUpToMaxLength) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    uint8_t buffer[256] = {};
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    // A long time-out does not make an empty read wait (the guard only catches a hang).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 60000), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kHangGuard);

    std::vector<uint8_t> sent(100);
    std::iota(sent.begin(), sent.end(), uint8_t{0});
    ASSERT_TRUE(farEnd.Send(sent));
    ASSERT_TRUE(bridge.WaitQueued(100));
    ASSERT_EQ(port.Read(buffer, 10, 10), 10u);
    EXPECT_EQ(std::memcmp(buffer, sent.data(), 10), 0);
    EXPECT_EQ(bridge.Queued(), 90);
    ASSERT_EQ(port.Read(buffer, sizeof buffer, 10), 90u);
    EXPECT_EQ(std::memcmp(buffer, sent.data() + 10, 90), 0);
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    EXPECT_EQ(port.Read(nullptr, 0, 10), 0u);
}

TEST_F(CommWin32Test, QueuedWritesArriveWholeAndInOrderWithoutBlockingTheWriter) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    constexpr size_t kBlockBytes = 10240;
    constexpr int kBlocks = 8;  // far more than the terminal buffers: most of it must queue
    std::vector<uint8_t> expected;
    std::vector<uint8_t> block(kBlockBytes);
    for (int b = 0; b < kBlocks; ++b) {
        for (size_t i = 0; i < kBlockBytes; ++i) block[i] = static_cast<uint8_t>(i * 7 + b * 31);
        expected.insert(expected.end(), block.begin(), block.end());
        port.Write(block.data(), kBlockBytes);
        // The port must have copied the bytes: the caller reuses its buffer at once.
        std::fill(block.begin(), block.end(), uint8_t{0xEE});
    }
    const std::vector<uint8_t> got = farEnd.Receive(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);

    Message m;
    bool txEmpty = false;
    while (!txEmpty && queue.GetFor(m, kHangGuard)) txEmpty = m.id == WM_COMM_TXEMPTY;
    EXPECT_TRUE(txEmpty);
}

TEST_F(CommWin32Test, OpenAndCloseRules) {
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
    port.Write(&probe, 1);
    EXPECT_EQ(farEnd.Receive(1), std::vector<uint8_t>{probe});

    // A text the parser rejects fails, but the device stays open with its monitor.
    EXPECT_FALSE(port.Open(kPort, "fast,n,8,1"));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(port.MonitorActive());
    EXPECT_FALSE(port.SetState("9600,q,8,1"));
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.MonitorActive());
    port.Close();
    EXPECT_EQ(port.Write(&probe, 1), 0u);
    EXPECT_FALSE(port.SetState("9600,n,8,1"));
    EXPECT_FALSE(port.SetupDevice());

    // A number that names no port fails and leaves the object closed.
    EXPECT_FALSE(port.Open(1000, "9600,n,8,1"));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.DeviceName(), "\\\\.\\COM1000");
    EXPECT_FALSE(port.LastError().empty());
    // An explicit entry names any device, up to number 1024.
    names.Assign(1024, "\\\\.\\COM40");
    ASSERT_TRUE(port.Open(1024, "9600,n,8,1")) << port.LastError();
    port.Close();
}

TEST_F(CommWin32Test, ReopenRestartsTheMonitorAndKeepsTheTarget) {
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    EXPECT_FALSE(port.StartMonitor());  // one monitor per opening
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    EXPECT_TRUE(port.MonitorActive());

    ASSERT_TRUE(farEnd.Send({0x41}));
    Message m;
    ASSERT_TRUE(NextNotification(m, kHangGuard));
    EXPECT_EQ(m.id, WM_COMM_RXCHAR);
    EXPECT_EQ(m.wParam, kPort);

    constexpr unsigned kGenerousMs = 10000;  // the true result must not hang on a slow machine
    EXPECT_TRUE(port.StopMonitor(kGenerousMs));
    EXPECT_FALSE(port.MonitorActive());
    EXPECT_FALSE(port.StopMonitor(kGenerousMs));
    EXPECT_TRUE(port.StartMonitor());
    port.Close();
    EXPECT_FALSE(port.StopMonitor(cnComm::kStopMonitorMs));
}

TEST_F(CommWin32Test, WithoutALiveTargetNothingIsPostedAndTheMonitorGoesOn) {
    port.SetNotifyTarget(nullptr);
    ASSERT_TRUE(port.Open(kPort, "9600,n,8,1")) << port.LastError();
    ASSERT_TRUE(farEnd.Send({1, 2}));
    ASSERT_TRUE(bridge.WaitQueued(2));
    EXPECT_TRUE(port.MonitorActive());
    uint8_t buffer[8];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 2u);
    EXPECT_EQ(queue.Size(), 0u);
    port.Close();
}

TEST_F(CommWin32Test, FarEndSeesTheLineSettings) {
    // Linux's numbers for what the far end reads: speed codes, then CSTOPB, CRTSCTS and the
    // software flow control bits.
    struct Case {
        const char* text;
        unsigned speed;
        bool stopFlag;
    };
    const Case cases[] = {
        {"9600,n,8,1", 13, false},     {"38400,n,8,1", 15, false}, {"57600,n,8,1", 4097, false},
        {"115200,n,8,1", 4098, false}, {"19200,e,7,2", 14, true},
    };
    constexpr unsigned kCstopb = 0100;
    constexpr unsigned kCrtscts = 020000000000u;
    constexpr unsigned kSoftwareFlow = 02000 | 04000 | 010000;  // IXON, IXANY, IXOFF
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(port.Open(kPort, c.text)) << port.LastError();
        std::istringstream seen(bridge.Ask("termios"));
        unsigned ospeed = 0, ispeed = 0, cflag = 0, iflag = 0;
        seen >> ospeed >> ispeed >> cflag >> iflag;
        EXPECT_EQ(ospeed, c.speed);
        EXPECT_EQ((cflag & kCstopb) != 0, c.stopFlag);
        EXPECT_EQ(cflag & kCrtscts, 0u);
        EXPECT_EQ(iflag & kSoftwareFlow, 0u);
    }
    port.Close();
}

TEST_F(CommWin32Test, VanishedDeviceEndsTheMonitorAndTellsTheOwnerOnce) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    std::vector<uint8_t> big(64 * 1024, 0x55);
    port.Write(big.data(), static_cast<unsigned>(big.size()));
    ASSERT_EQ(bridge.Ask("hangup"), "ok");

    Message m;
    bool gone = false;
    while (!gone && queue.GetFor(m, kHangGuard)) gone = m.id == WM_COMM_GONE;
    ASSERT_TRUE(gone);
    EXPECT_EQ(m.wParam, kPort);
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (port.MonitorActive() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(port.MonitorActive());
    uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10), 0u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(NoNotificationFor(kQuietPeriod));
    // The fresh terminal behind the same name opens as usual.
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    port.Close();
}

TEST_F(CommWin32Test, CloseDropsQueuedBytesAndReturnsPromptly) {
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    std::vector<uint8_t> big(256 * 1024, 0x66);
    port.Write(big.data(), static_cast<unsigned>(big.size()));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.MonitorActive());
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    port.Close();
}

TEST_F(CommWin32Test, APortInUseCannotBeOpenedAgain) {
    // Windows refuses a second opening of a COM port; Wine does not enforce it.
    if (test::RunningOnWine()) GTEST_SKIP() << "Wine lets a second program open a port in use";
    ASSERT_TRUE(port.Open(kPort, "115200,n,8,1")) << port.LastError();
    cnComm second(names);
    EXPECT_FALSE(second.Open(kPort, "115200,n,8,1"));
    EXPECT_FALSE(second.IsOpen());
    port.Close();
    EXPECT_TRUE(second.Open(kPort, "115200,n,8,1")) << second.LastError();
}

}  // namespace
}  // namespace pelorin
