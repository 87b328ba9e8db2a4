// What the target sends, queued as chunks for its owner to time: raw bytes, the protocol's
// four-byte frames and runs of progress frames over flash work, each at the line speed it is
// sent at. The noise and split-frame faults are played here. No I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/target_model.h"

namespace pelorin::sim {

// The model's random bytes: noise between frames and garbage from a wrong line speed. A fixed
// xorshift sequence, so that every run of a fault plays the same.
class NoiseSource {
  public:
    uint8_t Next();

  private:
    uint32_t state_ = 0x2545F491;
};

class TargetOutput {
  public:
    // `config` (its faults and split gap), `noise` and `log` belong to the model and outlive
    // this; `log` may be empty.
    TargetOutput(const TargetConfig& config, NoiseSource& noise,
                 const std::function<void(const std::string&)>& log)
        : config_(config), noise_(noise), log_(log) {}

    // Queues `bytes` as one transmission after `workMs` of simulated work and `holdMs` of
    // real time.
    TargetChunk& Push(unsigned baud, std::vector<uint8_t> bytes, unsigned workMs = 0,
                      unsigned holdMs = 0);
    // Queues the frame FE cls value FF, with the noise and split-frame faults.
    void Frame(unsigned baud, uint8_t cls, uint8_t value, unsigned workMs = 0, unsigned holdMs = 0);
    // Progress 0..128 over `bytes` of flash work at `usPerKiB`, one frame per sector.
    void Progress(unsigned baud, size_t bytes, unsigned usPerKiB);

    // The bytes of the last transmission queued; there must be one.
    std::vector<uint8_t>& LastBytes() { return chunks_.back().bytes; }
    // Hands out the next transmission; false when none is queued.
    bool Take(TargetChunk& chunk);
    // Drops what is queued; the next frame is again the first.
    void Clear();

  private:
    void Log(const std::string& line) const {
        if (log_) log_(line);
    }

    const TargetConfig& config_;
    NoiseSource& noise_;
    const std::function<void(const std::string&)>& log_;
    std::deque<TargetChunk> chunks_;
    unsigned framesSent_ = 0;
};

}  // namespace pelorin::sim
