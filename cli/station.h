// One port of the production line: its board (worker and shared state), the operation on the
// board in front of it, the verify read-back, the log row, and with --repeat the wait for the
// next board. Runs in the main thread; its worker posts into the station's own queue and
// wakes the main loop.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "cli/board_record.h"
#include "cli/cli_options.h"
#include "cli/line_view.h"
#include "config/board_log.h"
#include "config/flash_compare.h"
#include "serial/message_queue.h"
#include "session/operation.h"

namespace pelorin::cli {

// Posted to the main loop's queue when a station's queue got a message: wParam the station.
inline constexpr uint32_t kStationWakeMessage = kWmUser + 400;

// What every station shares, read-only but for the log's state.
struct LineSetup {
    const CliOptions* options = nullptr;
    OperationRequest request;       // port fields empty; a Download's data file prepared
    WrittenData written;            // what a verify compares with
    std::string sha256;             // of the bytes every board is sent
    std::filesystem::path workDir;  // private; verify dumps go here
    const TargetImages* images = nullptr;
    BoardLog* log = nullptr;            // --log, opened and checked; null without
    std::function<bool()> stopWaiting;  // a cancel key ends a wait for the log's lock
    std::string logError;               // set once a row could not be written: the line stops
};

// One station's boards so far.
struct BoardCounts {
    unsigned passed = 0;
    unsigned failed = 0;
    unsigned cancelled = 0;  // in progress when the operator ended the line
};

class Station {
  public:
    using Clock = std::chrono::steady_clock;

    Station(LineSetup& setup, size_t index, const std::string& port, MessageQueue& wake,
            LineScreen& screen);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The port's number and device; an error text when the port names nothing.
    std::string Resolve();
    const std::string& Device() const { return device_; }
    void Begin(Clock::time_point now);
    // The station's messages, the operation's time-driven part, and the next step once an
    // operation ended.
    void Pump(Clock::time_point now);
    void Cancel();
    // No further board: a port that waits for one stops now, a board in front of it finishes.
    void StopWhenIdle();
    bool Done() const { return phase_ == Phase::Done; }
    // The most severe status of the boards that finished (not cancelled); nullopt when none.
    std::optional<int> Worst() const { return worst_; }
    const BoardCounts& Counts() const { return counts_; }

  private:
    // VerifyWait: the verify waits for the adapter to come back.
    enum class Phase { Waiting, Board, Verify, VerifyWait, Done };

    class Sink final : public ISessionSink {
      public:
        Sink(MessageQueue& own, MessageQueue& wake, size_t index)
            : own_(own), wake_(wake), index_(index) {}
        void Post(uint32_t id, uint64_t wParam, int64_t lParam) override {
            own_.Post(id, wParam, lParam);
            wake_.Post(kStationWakeMessage, index_, 0);
        }
        void Beep() override {}

      private:
        MessageQueue& own_;
        MessageQueue& wake_;
        size_t index_;
    };
    class Prompt final : public IOperatorPrompt {
      public:
        Prompt(LineScreen& screen, size_t index) : screen_(screen), index_(index) {}
        PromptAnswer Show(const PromptRequest& request) override;
        // While a port waits for a board that is being changed, a port that cannot open or
        // goes away is expected: nothing is shown.
        std::atomic<bool> quiet{false};

      private:
        LineScreen& screen_;
        size_t index_;
    };

    void StartBoard(Clock::time_point now);
    void StartOperation(const OperationRequest& request, Phase phase, Clock::time_point now);
    void OnOperationEnded(Clock::time_point now);
    void OnVerifyEnded(Outcome outcome, const std::string& text);
    void FinishBoard(int exitCode, const std::string& text, const std::string& verify,
                     const std::string& verifyDetail, bool shown = false);
    void LogBoard(int exitCode, const std::string& text, const std::string& verify,
                  const std::string& verifyDetail);
    std::string VerifyCancelledText() const;
    std::filesystem::path VerifyPath() const;

    LineSetup& setup_;
    size_t index_;
    std::string label_;
    LineScreen& screen_;
    MessageQueue queue_;
    Sink sink_;
    Prompt prompt_;
    PortView view_;
    Board board_;
    std::unique_ptr<Operation> operation_;
    unsigned portNumber_ = 0;
    std::string device_;
    Phase phase_ = Phase::Waiting;
    Clock::time_point retryAt_{};
    bool everOpened_ = false;
    bool cancelling_ = false;
    // The board in front of the port.
    OperationRequest boardRequest_;
    bool answered_ = false;
    std::chrono::system_clock::time_point answeredWall_{};
    Clock::time_point answeredAt_{};
    uint64_t wireBytes_ = 0;
    char boardStage_ = 0;
    OperationRequest verifyRequest_;
    Clock::time_point verifyUntil_{};  // the last stage of the board's own operation
    BoardCounts counts_;
    std::optional<int> worst_;
};

}  // namespace pelorin::cli
