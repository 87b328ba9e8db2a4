// Pacing of one direction of the simulated line: bytes move no faster than baud/10 per
// second, times a speed factor; a factor of 0 leaves the line unpaced.
#pragma once

#include <chrono>
#include <cstddef>

namespace pelorin::sim {

class LinePacer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LinePacer(double factor) : factor_(factor) {}

    bool Paced() const { return factor_ > 0; }
    // How many bytes may move at `now`, at most `wanted`; 0 while the line is still busy.
    size_t Allowance(Clock::time_point now, unsigned baud, size_t wanted) const;
    // Records that `count` bytes moved at `now`: the line is busy for their time.
    void Moved(Clock::time_point now, unsigned baud, size_t count);
    // When the line is free again.
    Clock::time_point FreeAt() const { return freeAt_; }
    // Simulated work of `ms` as real time at this factor.
    Clock::duration Scaled(unsigned ms) const;

  private:
    double BytesPerSecond(unsigned baud) const;

    double factor_;
    Clock::time_point freeAt_{};
};

}  // namespace pelorin::sim
