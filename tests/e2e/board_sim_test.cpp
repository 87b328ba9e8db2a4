// The engine's operation on a real port against pelorin-sim, in this process: a host made late
// by a loaded machine, and what the port does to the modem lines over a whole Download.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "../session/whole_operation.h"
#include "child_process.h"
#include "serial/comm.h"
#include "serial/modem_control.h"
#include "session/operation.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace pelorin::testing;
using namespace std::chrono_literals;

// Every pause of the protocol comes this much late, as on a machine under load.
class LateSleeper final : public ISleeper {
  public:
    explicit LateSleeper(unsigned lateMs) : lateMs_(lateMs) {}
    void SleepMs(unsigned ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms + lateMs_));
    }

  private:
    unsigned lateMs_;
};

// Records every touch of the modem lines and passes it on.
class RecordingModemControl final : public IModemControl {
  public:
    int SetLines(NativeDevice device, unsigned lines, bool on) override {
        std::lock_guard lock(mutex_);
        calls.push_back(std::string(on ? "raise" : "drop") + (lines & kModemDtr ? " DTR" : "") +
                        (lines & kModemRts ? " RTS" : ""));
        devices.push_back(device);
        return SystemModemControl().SetLines(device, lines, on);
    }
    int SetDropOnClose(NativeDevice device, bool drop) override {
        std::lock_guard lock(mutex_);
        calls.push_back(drop ? "drop on close" : "keep on close");
        devices.push_back(device);
        return SystemModemControl().SetDropOnClose(device, drop);
    }
    std::mutex mutex_;
    std::vector<std::string> calls;
    std::vector<NativeDevice> devices;
};

class BoardSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "pelorin-board-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir = templ;
        link = dir / "board";
        ASSERT_TRUE(sim.Start({PELORIN_SIM_PATH, "--link", link.string(), "--flash",
                               (dir / "flash.bin").string(), "--pace", "4"}));
        for (int i = 0; i < 500 && !fs::exists(link); ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(link)) << sim.Err();
        std::ofstream(dir / "image.bin", std::ios::binary) << std::string(20000, 'x');
    }
    void TearDown() override {
        sim.Signal(SIGTERM);
        sim.Wait(10s);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // Runs one operation to its end; the worker pauses `lateMs` longer than asked each time.
    Outcome Run(OperationKind kind, unsigned lateMs, EndView& view, NotingPrompt& prompt,
                IModemControl* modem = nullptr) {
        MessageQueue queue;
        QueueSink sink(queue);
        LateSleeper sleeper(lateMs);
        TargetImages images;
        auto port = std::make_unique<cnComm>(names);
        port->SetModemControl(modem);
        Board board(sink, prompt, images, std::move(port), &sleeper);
        return RunOnLogo(board, queue, names.NumberFor(link.string()), link.string(), kind,
                         (dir / "image.bin").string(), view);
    }

    fs::path dir, link;
    PortNameTable names;
    testing::ChildProcess sim;
};

// The board speaks 50 ms after 'A'; a host whose 10 ms pause before the speed switch comes 45 ms
// late must still hear the next frame: the switch keeps what already arrived.
TEST_F(BoardSimTest, LateHostKeepsTheFrameAfterTheSpeedSwitch) {
    for (int run = 0; run < 3; ++run) {
        EndView view;
        NotingPrompt prompt;
        EXPECT_EQ(Run(OperationKind::Download, 45, view, prompt), Outcome::Completed)
            << view.text << prompt.shown << view.timeouts;
        EXPECT_EQ(view.stages, "UABSVDKHIO") << sim.Err();
    }
}

// A board whose reset or boot pin hangs on DTR or RTS must see neither raised: a whole Download
// only ever drops them, on one descriptor, and the close does not pulse them either.
TEST_F(BoardSimTest, AWholeDownloadOnlyDropsTheModemLines) {
    EndView view;
    NotingPrompt prompt;
    RecordingModemControl modem;
    ASSERT_EQ(Run(OperationKind::Download, 0, view, prompt, &modem), Outcome::Completed)
        << view.text;
    ASSERT_FALSE(modem.calls.empty());
    for (const std::string& call : modem.calls)
        EXPECT_TRUE(call == "drop DTR RTS" || call == "keep on close") << call;
    // One opening for the whole run: the speed switch at 'A' kept the device open.
    EXPECT_EQ(std::count(modem.calls.begin(), modem.calls.end(), "keep on close"), 1);
}

}  // namespace
}  // namespace pelorin
