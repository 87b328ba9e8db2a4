// One port of the production line.
#include "cli/station.h"

#include <system_error>

#include "cli/exit_codes.h"
#include "cli/operation_runner.h"
#include "cli/port_arg.h"
#include "config/board_log.h"
#include "session/session_protocol.h"
#include "session/stage_texts.h"

namespace pelorin::cli {
namespace {

using namespace std::chrono_literals;

// How often a port whose adapter is away (a board being changed) is tried again.
constexpr auto kReopenInterval = 500ms;
// How long a verify waits for an adapter that went away while its board reset (a USB adapter
// that enumerates again) to come back.
constexpr auto kAdapterReturnWait = 10s;
constexpr const char* kResetText = "Reset the board to verify";
constexpr const char* kWaitingText = "Waiting for the next board";

}  // namespace

PromptAnswer Station::Prompt::Show(const PromptRequest& request) {
    if (!quiet.load()) screen_.Message(index_, request.caption, request.text);
    return DefaultAnswer(request.buttons);
}

Station::Station(LineSetup& setup, size_t index, const std::string& port, MessageQueue& wake,
                 LineScreen& screen)
    : setup_(setup),
      index_(index),
      label_(port),
      screen_(screen),
      sink_(queue_, wake, index),
      prompt_(screen, index),
      view_(screen, index),
      board_(sink_, prompt_, *setup.images) {}

Station::~Station() {
    operation_.reset();  // before the board and its worker go
}

std::string Station::Resolve() {
    std::string error;
    portNumber_ = ResolvePort(label_, board_.Shared().portNames, error);
    if (portNumber_ != 0) device_ = board_.Shared().portNames.DevicePath(portNumber_);
    return error;
}

void Station::Begin(Clock::time_point now) {
    if (setup_.options->repeat) screen_.Info(index_, kWaitingText);
    StartBoard(now);
}

void Station::StartBoard(Clock::time_point now) {
    boardRequest_ = setup_.request;
    boardRequest_.portNumber = portNumber_;
    boardRequest_.portLabel = label_;
    boardRequest_.waitForBoard = setup_.options->repeat;
    answered_ = false;
    wireBytes_ = 0;
    boardStage_ = 0;
    screen_.NewBoard(index_, setup_.options->verify);
    prompt_.quiet = setup_.options->repeat && everOpened_;
    StartOperation(boardRequest_, Phase::Board, now);
}

void Station::StartOperation(const OperationRequest& request, Phase phase, Clock::time_point now) {
    // Whatever the worker said after the last operation ended belongs to nobody now.
    Message stale;
    while (queue_.Peek(stale)) {
    }
    operation_ = std::make_unique<Operation>(board_, view_);
    phase_ = phase;
    if (operation_->Start(request) == Outcome::Running)
        everOpened_ = true;
    else
        OnOperationEnded(now);
}

void Station::Pump(Clock::time_point now) {
    if (phase_ == Phase::Waiting) {
        if (now >= retryAt_) StartBoard(now);
        return;
    }
    if (phase_ == Phase::VerifyWait) {
        if (now >= retryAt_) StartOperation(verifyRequest_, Phase::Verify, now);
        return;
    }
    if (!operation_) return;
    Message m;
    while (operation_->Running() && queue_.Peek(m)) operation_->OnMessage(m);
    if (operation_->Running()) operation_->Poll(now);
    if (!answered_ && operation_->Stage() != 0) {
        // The boot ROM answered: a board is in front of the port from here on.
        answered_ = true;
        answeredAt_ = now;
        answeredWall_ = std::chrono::system_clock::now();
        prompt_.quiet = false;
    }
    if (phase_ == Phase::Verify && operation_->Stage() != 0) prompt_.quiet = false;
    if (!operation_->Running()) OnOperationEnded(now);
}

void Station::Cancel() {
    cancelling_ = true;
    if (phase_ == Phase::Waiting) phase_ = Phase::Done;
    if (phase_ == Phase::VerifyWait)
        FinishBoard(kExitCancelled, VerifyCancelledText(), "not done", "cancelled");
    if (operation_ && operation_->Running()) {
        view_.Cancelling();
        operation_->Cancel();
    }
}

void Station::StopWhenIdle() {
    // With --repeat a port whose board has not answered yet waits for the next one.
    if (phase_ == Phase::Waiting ||
        (phase_ == Phase::Board && !answered_ && setup_.options->repeat))
        Cancel();
}

void Station::OnOperationEnded(Clock::time_point now) {
    const Outcome outcome = operation_->State();
    const char stage = operation_->Stage();
    if (phase_ == Phase::Board) boardStage_ = stage;
    wireBytes_ += operation_->WireBytes();
    operation_.reset();
    const std::string text = outcome == Outcome::Cancelled && phase_ == Phase::Board
                                 ? CancelledText(boardRequest_.kind, stage,
                                                 boardRequest_.section->name, view_.HeldInfo())
                                 : view_.EndText();
    // The adapter went away as its board reset: it comes back, as for the next board.
    const bool adapterAway = stage == 0 && !cancelling_ &&
                             (outcome == Outcome::PortFailed || outcome == Outcome::DeviceGone);
    if (phase_ == Phase::Verify && adapterAway && now < verifyUntil_) {
        phase_ = Phase::VerifyWait;
        retryAt_ = now + kReopenInterval;
        return;
    }
    if (phase_ == Phase::Verify) return OnVerifyEnded(outcome, text);
    // With --repeat, a port with no board in front of it has no board to count: the adapter
    // went with the board being changed, or the operator ended the line.
    const bool noBoard =
        setup_.options->repeat && stage == 0 && everOpened_ && outcome != Outcome::BadInput;
    if (noBoard) {
        phase_ = cancelling_ ? Phase::Done : Phase::Waiting;
        retryAt_ = now + kReopenInterval;
        return;
    }
    if (outcome == Outcome::Completed && setup_.options->verify && !cancelling_) {
        screen_.Verifying(index_);
        screen_.Info(index_, kResetText);
        verifyRequest_ = boardRequest_;
        verifyRequest_.kind = OperationKind::Dump;
        verifyRequest_.prepared.reset();
        verifyRequest_.waitForBoard = false;
        verifyRequest_.file = VerifyPath().string();
        std::error_code ec;
        std::filesystem::remove(verifyRequest_.file, ec);
        verifyUntil_ = now + kAdapterReturnWait;
        prompt_.quiet = true;
        StartOperation(verifyRequest_, Phase::Verify, now);
        return;
    }
    FinishBoard(ExitCodeFor(outcome), text, setup_.options->verify ? "not done" : "",
                setup_.options->verify ? text : "", view_.EndShown());
    (void)now;
}

void Station::OnVerifyEnded(Outcome outcome, const std::string& text) {
    const std::filesystem::path dump = VerifyPath();
    std::error_code ec;
    if (outcome == Outcome::Cancelled) {
        // What arrived of the read-back was private and goes with it.
        std::filesystem::remove(dump.string() + ".partial", ec);
        FinishBoard(kExitCancelled, VerifyCancelledText(), "not done", "cancelled");
        return;
    }
    if (outcome != Outcome::Completed) {
        std::filesystem::remove(dump.string() + ".partial", ec);
        FinishBoard(ExitCodeFor(outcome), "Verify: " + text, "not done", text, view_.EndShown());
        return;
    }
    const VerifyReport report = CompareWritten(dump, setup_.written);
    std::filesystem::remove(dump, ec);
    const std::string said = VerifyText(report, setup_.written.startAddress);
    if (report.Matches())
        FinishBoard(kExitOk, std::string(StageTextFor('O')), "passed", said);
    else if (report.error.empty())
        FinishBoard(kExitVerifyFailed, "Verify failed: " + said, "failed", said);
    else
        FinishBoard(kExitBadInput, "Verify failed: " + said, "not done", said);
}

void Station::FinishBoard(int exitCode, const std::string& text, const std::string& verify,
                          const std::string& verifyDetail, bool shown) {
    // A board the operator's cancel caught is neither passed nor failed.
    const bool cancelled = exitCode == kExitCancelled && cancelling_;
    if (cancelled)
        ++counts_.cancelled;
    else
        ++(exitCode == kExitOk ? counts_.passed : counts_.failed);
    if (!cancelled || !setup_.options->repeat)
        worst_ = worst_ ? MostSevere(*worst_, exitCode) : exitCode;
    if (setup_.log) LogBoard(exitCode, text, verify, verifyDetail);
    // A verify's own ending names the verify in its text, but for a pass: the text is the
    // board's "Mission completed" then.
    const bool verifyEnded = phase_ == Phase::Verify || phase_ == Phase::VerifyWait;
    const std::string note = verify.empty()       ? ""
                             : !verifyEnded       ? verify
                             : verify == "passed" ? verifyDetail
                                                  : "";
    screen_.BoardEnded(index_, {exitCode, text, shown, verifyDetail, note, counts_.passed,
                                counts_.failed, counts_.cancelled});
    const bool again = setup_.options->repeat && !cancelling_ && setup_.logError.empty() &&
                       exitCode != kExitBadInput && (everOpened_ || exitCode != kExitPortFailed);
    phase_ = again ? Phase::Waiting : Phase::Done;
    retryAt_ = Clock::now();
    if (again) screen_.Info(index_, kWaitingText);
}

void Station::LogBoard(int exitCode, const std::string& text, const std::string& verify,
                       const std::string& verifyDetail) {
    const auto now = Clock::now();
    BoardFacts facts;
    facts.ended = std::chrono::system_clock::now();
    facts.started = answered_ ? answeredWall_ : facts.ended;
    facts.seconds = answered_ ? std::chrono::duration<double>(now - answeredAt_).count() : 0.0;
    facts.wireBytes = wireBytes_;
    facts.exitCode = exitCode;
    facts.text = text;
    facts.verify = verify;
    facts.verifyDetail = verifyDetail;
    facts.sha256 = setup_.sha256;
    facts.lastStage = boardStage_;
    const BoardLogRecord record = LogRecordFor(*setup_.options, boardRequest_, device_, facts);
    if (std::string error = setup_.log->Append(record, setup_.stopWaiting); !error.empty()) {
        screen_.Message(index_, kErrorCaption, error + "; the line stops");
        if (setup_.logError.empty()) setup_.logError = error;
    }
}

std::string Station::VerifyCancelledText() const {
    return "Cancelled during the verify: section " + boardRequest_.section->name +
           " was written (Mission completed) but not read back.";
}

std::filesystem::path Station::VerifyPath() const {
    return setup_.workDir / ("verify-" + std::to_string(index_) + ".bin");
}

}  // namespace pelorin::cli
