// The time-out watchdog: counts one-second ticks since the last session notification and
// names the stage that stalled. Owned and ticked by whoever shows the session (window or
// command line); runs in that owner's thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pelorin {

inline constexpr uint8_t kWatchdogTicks = 16;  // one tick per second
inline constexpr unsigned kWatchdogTickMs = 1000;
inline constexpr const char* kTimeoutCaption = "Time Out";

// The message for a time-out at `stage`.
std::string TimeoutMessageText(char stage);

// A stage at which the session reports nothing for a long time, or that ends the operation.
constexpr bool IsHoldingStage(char stage) {
    return stage == 'K' || stage == 'O' || stage == 'N' || stage == 'P';
}

class Watchdog {
  public:
    // Every WM_SESSION_UPDATE: kind 0 sets the stage; then arms, or holds on a holding stage.
    void OnSessionUpdate(uint64_t kind, int64_t value);
    // The operator cancelled.
    void Stop() { running_ = false; }
    // One timer tick; the message text when the count runs out. The count wraps, so left
    // alone the message comes again every 256 ticks.
    std::optional<std::string> Tick();

    bool Running() const { return running_; }
    char Stage() const { return stage_; }
    uint8_t Count() const { return count_; }

  private:
    char stage_ = 0;
    uint8_t count_ = 0;
    bool running_ = false;
};

}  // namespace pelorin
