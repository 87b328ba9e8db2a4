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
    if (samples_.size() < 3) return 0;
    const Point& first = samples_.front();
    const double span = std::chrono::duration<double>(samples_.back().at - first.at).count();
    // Shorter spans than this give speeds that jump with every scheduling hiccup.
    if (span < 0.25) return 0;
    // The slope of a least-squares line through the window: drivers take bytes in blocks of
    // several KiB, and two end points alone would make the speed jump by a block.
    double sumT = 0, sumB = 0, sumTT = 0, sumTB = 0;
    for (const Point& p : samples_) {
        const double t = std::chrono::duration<double>(p.at - first.at).count();
        const double b = double(p.count - first.count);
        sumT += t;
        sumB += b;
        sumTT += t * t;
        sumTB += t * b;
    }
    const double n = double(samples_.size());
    const double denominator = n * sumTT - sumT * sumT;
    if (denominator <= 0) return 0;
    const double slope = (n * sumTB - sumT * sumB) / denominator;
    return slope > 0 ? slope : 0;
}

}  // namespace pelorin
