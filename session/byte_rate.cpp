// Speed over a sliding window of samples.
#include "session/byte_rate.h"

namespace pelorin {

void ByteRate::Sample(Clock::time_point now, uint64_t count) {
    if (!samples_.empty() && count < samples_.back().count) samples_.clear();
    samples_.push_back({now, count});
    // Keep one sample older than the window, so the speed always spans the whole window.
    while (samples_.size() > 2 && now - samples_[1].at >= kWindow) samples_.pop_front();
}

double ByteRate::BytesPerSecond() const {
    if (samples_.size() < 2) return 0;
    const Point& first = samples_.front();
    const Point& last = samples_.back();
    const double seconds = std::chrono::duration<double>(last.at - first.at).count();
    // Shorter spans than this give speeds that jump with every scheduling hiccup.
    if (seconds < 0.25) return 0;
    return double(last.count - first.count) / seconds;
}

}  // namespace pelorin
