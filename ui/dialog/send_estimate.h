// The step bar's estimate during a long write, when nothing reports progress: 1280 bytes per
// 100 ms tick, so 12800 bytes take ten ticks.
#pragma once

#include <cstdint>

namespace pelorin::ui {

inline constexpr unsigned kSendEstimateTickMs = 100;
inline constexpr uint32_t kSendEstimateBytesPerTick = 1280;

class SendEstimate {
  public:
    struct Step {
        unsigned percent = 0;  // what the bar shows
        bool done = false;     // 100 % reached: the timer stops
    };

    void Begin(uint32_t length) {
        length_ = length;
        estimate_ = 0;
    }
    Step Tick();

    uint32_t Length() const { return length_; }
    uint32_t Estimate() const { return estimate_; }

  private:
    uint32_t length_ = 0;
    uint32_t estimate_ = 0;
};

}  // namespace pelorin::ui
