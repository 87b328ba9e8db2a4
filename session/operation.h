// One Download, Erase or Dump on one board, the same for every front end: the checks and the
// preparation, the start hand-over with the worker, then the worker's notifications, the
// watchdog, the limits a script needs, and how it ended. Front ends only present what the
// view is told. Runs in the owner's thread: the owner hands it every message the board's sink
// delivered (OnMessage) and calls Poll a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "base/hardware_info.h"
#include "config/compression.h"
#include "config/segment_table.h"
#include "config/work_dir.h"
#include "serial/message_queue.h"
#include "session/board.h"
#include "session/operation_view.h"
#include "session/watchdog.h"

namespace pelorin {

enum class OperationKind : uint8_t { Download = 0, Erase = 1, Dump = 2 };

// The word in plain text ("Download", "Erase", "Dump").
const char* KindName(OperationKind kind);

struct OperationRequest {
    OperationKind kind = OperationKind::Download;
    unsigned portNumber = 0;  // 1..1024; anything else fails like a port that cannot open
    std::string portLabel;    // how the operator named the port, for messages
    // Chip code, crystal, memory type and size, SDRAM mode; mode and section are filled here.
    SessionHeader header;
    // The chosen section; none when the layout has no sections.
    std::optional<SegmentEntry> section;
    std::string file;  // Download input or Dump output; empty when none is chosen
    // A Download's data file made already (PrepareDataFile), for several boards sharing one:
    // the file is then neither checked nor prepared again, only read, and never removed.
    struct Prepared {
        std::string dataFile;
        HardwareInfo hardwareInfo{};
    };
    std::optional<Prepared> prepared;
    Compression compression = Compression::Standard;  // when the operation prepares the file
    // Limits for scripts; 0 means none (the window waits for its operator).
    unsigned giveUpSeconds = 0;     // after a time-out message, end the operation this much later
    bool limitSilentBoard = false;  // a board that never prompts, or stalls in the data stream,
                                    // times out too
    // The boot ROM wait has no limit: on a production line the operator is changing the board.
    bool waitForBoard = false;
    unsigned tickMs = kWatchdogTickMs;  // shorter only for tests
    std::string tempBase;  // where the per-user working folder goes; empty: the system's choice
};

// For several boards sharing one file: checks the Download's file as Start would and prepares
// its data file once in `paths`, filling request.prepared. `wholeImage` tells whether the
// section is cut out of a whole-flash image. Error text, empty on success.
std::string PrepareSharedData(OperationRequest& request, const WorkPaths& paths, bool& wholeImage);

// The operator's download file: a regular file that can be read, not empty, and no longer
// than `section` unless it is a whole-flash image (`whole` tells). Empty text when it may be
// sent. Nothing is opened before the file's type is known: a FIFO would wait for ever.
std::string CheckInputFile(const std::string& file, const SegmentEntry& section, bool& whole);

class Operation {
  public:
    using Clock = std::chrono::steady_clock;

    Operation(Board& board, IOperationView& view);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Checks, preparation and the start hand-over. Running when the operation started; any
    // other outcome has been reported to the view (OnEnded) and nothing runs.
    Outcome Start(const OperationRequest& request);
    // Every message the board's sink delivered, in order.
    void OnMessage(const Message& message);
    // The time-driven part: watchdog ticks, the script limits, the measured progress.
    void Poll(Clock::time_point now = Clock::now());
    // The operator cancels (the window's second press, Ctrl+C).
    void Cancel();

    Outcome State() const { return outcome_; }
    bool Running() const { return outcome_ == Outcome::Running; }
    char Stage() const { return stage_; }
    const pelorin::Watchdog& Watchdog() const { return watchdog_; }
    // Progress of the step in bytes: what left the host in a data stream, what arrived in a
    // dump; nothing otherwise.
    StepProgress Step(Clock::time_point now = Clock::now());
    // Bytes the host wrote to the board in this operation, as far as measured.
    uint64_t WireBytes() const { return wireBytes_; }

  private:
    Outcome Prepare(const OperationRequest& request);
    // Asks the worker to open the board's port and waits, bounded, for its answer.
    Outcome OpenBoardPort();
    void OnUpdate(uint64_t kind, int64_t value);
    void OnPromptShown(const PromptRequest& prompt);
    void OnPortLost(int64_t error);
    void OnFinished();
    void StopWorker();
    void End(Outcome outcome, const std::string& text, bool shownAsMessage);
    void Report(const std::string& caption, const std::string& text, Outcome outcome);
    void ScriptLimits(Clock::time_point now);
    void SampleWire();

    Board& board_;
    IOperationView& view_;
    OperationRequest request_;
    std::optional<WorkDir> workDir_;
    bool dataPrepared_ = false;
    Outcome outcome_ = Outcome::NotStarted;
    char stage_ = 0;
    pelorin::Watchdog watchdog_;
    ByteRate rate_;
    uint64_t sendBytes_ = 0;
    uint64_t wireBytes_ = 0;
    bool sending_ = false;
    Clock::time_point nextTick_;
    Clock::time_point lastActivity_;
    uint64_t drained_ = 0;  // the port's count of bytes that left the host, when it last moved
    Clock::time_point drainedAt_{};
    std::optional<Clock::time_point> timedOutSince_;
};

}  // namespace pelorin
