// Speed of a byte count measured over the last few seconds, from samples the owner takes.
// Not thread-safe: one owner samples and reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace pelorin {

class ByteRate {
  public:
    using Clock = std::chrono::steady_clock;
    // How far back the speed looks.
    static constexpr auto kWindow = std::chrono::seconds(3);

    void Reset() { samples_.clear(); }
    // The count at `now` (counts never go back; a smaller one restarts the measure).
    void Sample(Clock::time_point now, uint64_t count);
    // Bytes per second over the window; 0 until two samples a while apart exist.
    double BytesPerSecond() const;

  private:
    struct Point {
        Clock::time_point at;
        uint64_t count;
    };
    std::deque<Point> samples_;
};

}  // namespace pelorin
