// The engine's operation on a real port against pelorin-sim, in this process: a host made late
// by a loaded machine, and what the port does to the modem lines over a whole Download.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "child_process.h"
#include "serial/comm.h"
#include "serial/modem_control.h"
#include "session/operation.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
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

class QueueSink final : public ISessionSink {
  public:
    explicit QueueSink(MessageQueue& queue) : queue_(queue) {}
    void Post(uint32_t id, uint64_t w, int64_t l) override { queue_.Post(id, w, l); }
    void Beep() override {}

  private:
    MessageQueue& queue_;
};

class SilentPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& r) override {
        shown += r.caption + ": " + r.text + "\n";
        return PromptAnswer::Ok;
    }
    std::string shown;
};

class EndView final : public IOperationView {
  public:
    void OnStarted(const std::string&) override {}
    void OnStage(char letter, const std::string&) override { stages += letter; }
    void OnMainPercent(unsigned) override {}
    void OnSubPercent(unsigned) override {}
    void OnSendBegin(uint64_t) override {}
    void OnSendEnd() override {}
    void OnTimeout(char, const std::string& message) override { timeouts += message; }
    void OnInfo(const std::string&) override {}
    void OnEnded(Outcome o, const std::string& t, bool) override {
        outcome = o;
        text = t;
    }
    std::string stages, timeouts, text;
    Outcome outcome = Outcome::NotStarted;
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
    Outcome Run(OperationKind kind, unsigned lateMs, EndView& view, SilentPrompt& prompt,
                IModemControl* modem = nullptr) {
        MessageQueue queue;
        QueueSink sink(queue);
        LateSleeper sleeper(lateMs);
        TargetImages images;
        auto port = std::make_unique<cnComm>(names);
        port->SetModemControl(modem);
        Board board(sink, prompt, images, std::move(port), &sleeper);
        OperationRequest r;
        r.kind = kind;
        r.portLabel = link.string();
        r.portNumber = names.NumberFor(link.string());
        r.section = SegmentEntry{"Logo", 0x130000, 0x8000};
        r.file = (dir / "image.bin").string();
        r.header.crystalKhz = 27000;
        r.giveUpSeconds = 5;
        r.limitSilentBoard = true;
        Operation operation(board, view);
        if (operation.Start(r) != Outcome::Running) return operation.State();
        while (operation.Running()) {
            Message m;
            if (queue.GetFor(m, 100ms)) operation.OnMessage(m);
            operation.Poll();
        }
        return operation.State();
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
        SilentPrompt prompt;
        EXPECT_EQ(Run(OperationKind::Download, 45, view, prompt), Outcome::Completed)
            << view.text << prompt.shown << view.timeouts;
        EXPECT_EQ(view.stages, "UABSVDKHIO") << sim.Err();
    }
}

// A board whose reset or boot pin hangs on DTR or RTS must see neither raised: a whole Download
// only ever drops them, on one descriptor, and the close does not pulse them either.
TEST_F(BoardSimTest, AWholeDownloadOnlyDropsTheModemLines) {
    EndView view;
    SilentPrompt prompt;
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
