// The simulated board's main loop: the target model on a pseudo-terminal, with line pacing,
// boot ROM prompts while it waits, power-on again after every operation, and the flash file.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "sim/line_pacer.h"
#include "sim/pty_link.h"
#include "sim/sim_options.h"
#include "sim/target_model.h"

namespace pelorin::sim {

class SimBoard {
  public:
    using Log = std::function<void(const std::string&)>;

    // `pty` must be open; the board writes the flash back to `options.flashPath`.
    SimBoard(const SimOptions& options, TargetConfig config, PtyLink& pty, Log log);

    // Runs until a signal arrives on `signalFd`, or after one operation with --once, or when the
    // board vanishes. Returns the exit status.
    int Run(int signalFd);

  private:
    using Clock = std::chrono::steady_clock;

    void WatchHost(Clock::time_point now);
    void ReadHost(Clock::time_point now);
    void SendToHost(Clock::time_point now);
    void EndOperation(const std::string& why);
    bool Busy() const { return !model_.AwaitingAnswer(); }
    bool InSpeedSwitch() const { return model_.Stage() == 'A' || model_.Stage() == 'B'; }
    uint8_t Garbage();
    // At most `wanted`, less when --vanish-after is close, so the board vanishes mid-stream.
    size_t VanishBudget(size_t wanted) const;
    void LogReceived(Clock::time_point now, size_t count);
    void LogInstant(const char* what, Clock::time_point now);

    const SimOptions& options_;
    PtyLink& pty_;
    TargetModel model_;
    Log log_;
    LinePacer toHost_;
    LinePacer fromHost_;

    bool hostPresent_ = false;
    unsigned hostBaud_ = 0;
    Clock::time_point hangupSince_{};
    Clock::time_point nextPrompt_{};
    Clock::time_point finishedAt_{};
    bool finishedSeen_ = false;
    uint64_t operationBytes_ = 0;
    uint64_t receivedBytes_ = 0;  // from the host, over the board's life
    bool vanished_ = false;
    bool frozenLogged_ = false;
    bool exitRequested_ = false;

    std::optional<TargetChunk> current_;
    size_t sent_ = 0;
    Clock::time_point readyAt_{};
    std::optional<Clock::time_point> speedWaitUntil_;
    bool wantWrite_ = false;
    bool garbleLogged_ = false;
    uint32_t noise_ = 0x9E3779B9;
};

}  // namespace pelorin::sim
