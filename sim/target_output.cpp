// The target's transmissions.
#include "sim/target_output.h"

#include <algorithm>

namespace pelorin::sim {
namespace {

constexpr unsigned kProgressMax = 128;
// Progress is reported once per flash sector of this size.
constexpr size_t kSectorBytes = 64 * 1024;

}  // namespace

uint8_t NoiseSource::Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<uint8_t>(state_ >> 11);
}

TargetChunk& TargetOutput::Push(unsigned baud, std::vector<uint8_t> bytes, unsigned workMs,
                                unsigned holdMs) {
    chunks_.push_back(TargetChunk{std::move(bytes), workMs, holdMs, baud});
    return chunks_.back();
}

void TargetOutput::Frame(unsigned baud, uint8_t cls, uint8_t value, unsigned workMs,
                         unsigned holdMs) {
    std::vector<uint8_t> frame = {0xFE, cls, value, 0xFF};
    const TargetFaults& f = config_.faults;
    if (f.noiseBytes > 0 && framesSent_ > 0) {
        std::vector<uint8_t> noiseBytes;
        for (unsigned i = 0; i < f.noiseBytes; ++i) {
            uint8_t b = noise_.Next();
            noiseBytes.push_back(b == 0xFE ? 0x00 : b);
        }
        if (framesSent_ == 1)
            Log("fault: " + std::to_string(f.noiseBytes) + " noise bytes between frames");
        frame.insert(frame.begin(), noiseBytes.begin(), noiseBytes.end());
    }
    ++framesSent_;
    if (f.splitFrames) {
        if (framesSent_ == 1) Log("fault: frames split in two transmissions");
        const auto half = static_cast<long>(frame.size() - 2);
        Push(baud, {frame.begin(), frame.begin() + half}, workMs, holdMs);
        Push(baud, {frame.begin() + half, frame.end()}, 0, config_.splitGapMs);
    } else {
        Push(baud, std::move(frame), workMs, holdMs);
    }
}

void TargetOutput::Progress(unsigned baud, size_t bytes, unsigned usPerKiB) {
    const size_t steps =
        std::clamp<size_t>((bytes + kSectorBytes - 1) / kSectorBytes, 1, kProgressMax);
    const double totalUs = static_cast<double>(bytes) / 1024.0 * usPerKiB;
    unsigned lastValue = 0;
    unsigned msSoFar = 0;
    Frame(baud, 'p', 0);
    for (size_t i = 1; i <= steps; ++i) {
        const auto value = static_cast<unsigned>(i * kProgressMax / steps);
        // Rounded on the running total so that many small sectors do not lose their time.
        const auto msUntilNow = static_cast<unsigned>(
            totalUs * static_cast<double>(i) / static_cast<double>(steps) / 1000.0 + 0.5);
        if (value == lastValue) continue;
        Frame(baud, 'p', static_cast<uint8_t>(value), msUntilNow - msSoFar);
        msSoFar = msUntilNow;
        lastValue = value;
    }
}

bool TargetOutput::Take(TargetChunk& chunk) {
    if (chunks_.empty()) return false;
    chunk = std::move(chunks_.front());
    chunks_.pop_front();
    return true;
}

void TargetOutput::Clear() {
    chunks_.clear();
    framesSent_ = 0;
}

}  // namespace pelorin::sim
