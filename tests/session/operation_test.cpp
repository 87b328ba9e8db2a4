// One operation's decisions over a board with a scripted port: the start checks, a port that
// does not open, the worker's notifications, cancel, a vanished device, the watchdog and the
// script limits, and how each ends. Times are handed to Poll, never waited for.
#include <cerrno>
#include <mutex>
#include <system_error>

#include <gtest/gtest.h>

#include "config/image_check.h"
#include "session/disposal_thread.h"
#include "session/messages.h"
#include "session/operation.h"
#include "session/session_protocol.h"
#include "session/stage_texts.h"
#include "session_fakes.h"
#include "tests/config/temp_dir.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Clock = Operation::Clock;

// The board's notifications as the owner's queue has them; the worker posts from its thread.
class QueueSink final : public ISessionSink {
  public:
    void Post(uint32_t id, uint64_t wParam, int64_t lParam) override {
        queue.Post(id, wParam, lParam);
    }
    void Beep() override {}
    MessageQueue queue;
};

// Message boxes of the worker and of the operation, "caption: text".
class Prompts final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& request) override {
        std::lock_guard lock(mutex);
        shown.push_back(request.caption + ": " + request.text);
        return PromptAnswer::Ok;
    }
    std::mutex mutex;
    std::vector<std::string> shown;
};

// What the front end is told, one line per call; the end also by its parts.
class View final : public IOperationView {
  public:
    void OnStarted(const std::string& text) override { calls.push_back("started " + text); }
    void OnStage(char letter, const std::string&) override { calls.push_back({'s', letter}); }
    void OnMainPercent(unsigned) override {}
    void OnSubPercent(unsigned) override {}
    void OnSendBegin(uint64_t) override {}
    void OnSendEnd() override {}
    void OnTimeout(char stage, const std::string& text) override {
        calls.push_back(std::string("timeout ") + (stage ? stage : '0') + " " + text);
    }
    void OnInfo(const std::string& text) override { calls.push_back("info " + text); }
    void OnEnded(Outcome how, const std::string& why, bool box) override {
        outcome = how;
        reason = why;
        boxShown = box;
    }
    std::vector<std::string> calls;
    Outcome outcome = Outcome::NotStarted;
    std::string reason;
    bool boxShown = false;
};

class OperationTest : public ::testing::Test {
  protected:
    OperationRequest Request(OperationKind kind, unsigned port = 3) {
        OperationRequest request;
        request.kind = kind;
        request.portNumber = port;
        request.portLabel = "COM" + std::to_string(port);
        request.section = SegmentEntry{"Logo", 0x10000, 0x100};
        request.tempBase = tmp.Path().string();
        return request;
    }
    // Hands the operation every notification queued so far, as its owner does.
    void Deliver(Operation& operation) {
        for (Message m; sink.queue.Peek(m);) operation.OnMessage(m);
    }
    void Update(Operation& operation, uint64_t kind, int64_t value) {
        operation.OnMessage({WM_SESSION_UPDATE, kind, value});
    }

    testing::TempDir tmp;
    QueueSink sink;
    Prompts prompts;
    testing::Timeline timeline;  // the worker's port and sleeper; read only after it ended
    TargetImages images;
    Board board{sink, prompts, images, std::make_unique<testing::FakePort>(timeline), &timeline};
    View view;
};

TEST_F(OperationTest, StartChecksRefuseBeforeThePortOpens) {
    struct Case {
        OperationRequest request;
        std::string text;
    };
    std::vector<Case> cases(4);
    cases[0] = {Request(OperationKind::Erase),
                "The layout defines no flash section: there is nothing to Erase."};
    cases[0].request.section.reset();
    cases[1] = {Request(OperationKind::Dump), "Please choose to dump files!"};
    cases[2] = {Request(OperationKind::Download), kNoDownloadFileText};
    cases[3] = {Request(OperationKind::Download), kFileTooLongText};
    cases[3].request.file = (tmp / "big.bin").string();
    testing::WriteText(cases[3].request.file, std::string(0x101, 'x'));
    for (const Case& c : cases) {
        Operation operation(board, view);
        EXPECT_EQ(operation.Start(c.request), Outcome::BadInput) << c.text;
        EXPECT_EQ(view.reason.substr(0, c.text.size()), c.text);
        EXPECT_TRUE(view.boxShown);
        EXPECT_EQ(prompts.shown.back(), "Error: " + view.reason);
    }
    EXPECT_TRUE(view.calls.empty());
    EXPECT_TRUE(timeline.Of(testing::Event::Open, &testing::Event::ms).empty());
}

TEST_F(OperationTest, APortThatDoesNotOpenEndsTheStart) {
    Operation operation(board, view);
    EXPECT_EQ(operation.Start(Request(OperationKind::Erase, 0)), Outcome::PortFailed);
    EXPECT_EQ(view.reason, std::string("COM0: ") + kCantOpenPortText);
    EXPECT_FALSE(view.boxShown);
    // The worker's own box about it, announced to the owner: an error box ends a running
    // operation with its text.
    Operation next(board, view);
    ASSERT_EQ(next.Start(Request(OperationKind::Erase)), Outcome::Running);
    Deliver(next);
    EXPECT_EQ(next.State(), Outcome::TransferError);
    EXPECT_EQ(view.reason, kCantOpenPortText);
    EXPECT_TRUE(view.boxShown);
}

TEST_F(OperationTest, TheTargetsEndDecidesTheOutcome) {
    for (char last : {'O', 'N', 'C'}) {  // 'C' is no stage
        Operation operation(board, view);
        ASSERT_EQ(operation.Start(Request(OperationKind::Erase)), Outcome::Running);
        Update(operation, kUpdateStage, last);
        EXPECT_EQ(operation.Stage(), last);
        operation.OnMessage({WM_SESSION_FINISHED, 0, 0});
        const std::string stageText(StageTextFor(last));
        EXPECT_EQ(operation.State(), last == 'O' ? Outcome::Completed : Outcome::TransferError);
        EXPECT_EQ(view.reason, last == 'C' ? "The target ended the operation" : stageText);
        EXPECT_EQ(view.boxShown, last == 'N');             // 'N' comes with its own message box
        operation.OnMessage({WM_SESSION_FINISHED, 0, 0});  // nothing after the end
    }
    EXPECT_EQ(view.calls.front(), "started Enter Erase Progress...");
    EXPECT_EQ(view.calls[1], "sO");
}

TEST_F(OperationTest, CancelAndAVanishedDeviceStopTheWorker) {
    Operation cancelled(board, view);
    ASSERT_EQ(cancelled.Start(Request(OperationKind::Erase)), Outcome::Running);
    cancelled.Cancel();
    EXPECT_EQ(cancelled.State(), Outcome::Cancelled);
    EXPECT_EQ(view.reason, "Cancel");
    cancelled.OnMessage({WM_SESSION_PORT_LOST, 3, EIO});
    EXPECT_EQ(cancelled.State(), Outcome::Cancelled);

    Operation lost(board, view);
    ASSERT_EQ(lost.Start(Request(OperationKind::Erase)), Outcome::Running);
    lost.OnMessage({WM_SESSION_PORT_LOST, 3, EIO});
    const std::string text =
        "The serial device has gone away: COM3 (" + std::generic_category().message(EIO) + ")";
    EXPECT_EQ(lost.State(), Outcome::DeviceGone);
    EXPECT_EQ(view.reason, text);
    EXPECT_EQ(prompts.shown.back(), "Error: " + text);
    // A dump that ends so says what it kept.
    Operation dump(board, view);
    OperationRequest request = Request(OperationKind::Dump);
    request.file = (tmp / "dump.bin").string();
    ASSERT_EQ(dump.Start(request), Outcome::Running);
    dump.Cancel();
    EXPECT_EQ(view.calls.back(), "info No byte of the dump arrived; no file was kept.");
}

TEST_F(OperationTest, WatchdogAndScriptLimits) {
    Operation operation(board, view);
    OperationRequest request = Request(OperationKind::Erase);
    request.limitSilentBoard = true;
    request.giveUpSeconds = 2;
    ASSERT_EQ(operation.Start(request), Outcome::Running);
    // A board that never answers times out in the boot ROM wait, without the watchdog.
    const auto start = Clock::now();
    operation.Poll(start + 10s);
    EXPECT_EQ(view.calls.size(), 1u);
    operation.Poll(start + 17s);
    EXPECT_EQ(view.calls.back().rfind("timeout 0 No answer from the board's boot ROM", 0), 0u);
    // Any notification re-arms: the watchdog names the stage that stalled after 16 ticks.
    Update(operation, kUpdateStage, 'A');
    EXPECT_TRUE(operation.Watchdog().Running());
    const auto stalled = Clock::now() + 17s;
    operation.Poll(stalled);
    EXPECT_EQ(view.calls.back(), "timeout A " + TimeoutMessageText('A'));
    operation.Poll(stalled + 1s);
    EXPECT_TRUE(operation.Running());
    operation.Poll(stalled + 2s);
    EXPECT_EQ(operation.State(), Outcome::TimedOut);
    EXPECT_EQ(view.reason, "Gave up: the target did not answer");

    // Without limits, the window waits for its operator.
    Operation patient(board, view);
    ASSERT_EQ(patient.Start(Request(OperationKind::Erase)), Outcome::Running);
    patient.Poll(Clock::now() + 1h);
    EXPECT_TRUE(patient.Running());
}

}  // namespace
}  // namespace pelorin
