// Line pacing by byte time.
#include "sim/line_pacer.h"

#include <algorithm>

namespace pelorin::sim {
namespace {

// Bytes moved in one go at most: small enough that the host sees a steady stream.
constexpr double kSliceSeconds = 0.005;

}  // namespace

double LinePacer::BytesPerSecond(unsigned baud) const {
    // Ten bit times per byte: start, eight data bits, stop.
    return std::max(1u, baud) / 10.0 * factor_;
}

size_t LinePacer::Allowance(Clock::time_point now, unsigned baud, size_t wanted) const {
    if (!Paced()) return wanted;
    if (now < freeAt_) return 0;
    const auto slice = static_cast<size_t>(BytesPerSecond(baud) * kSliceSeconds);
    return std::min(wanted, std::max<size_t>(1, slice));
}

void LinePacer::Moved(Clock::time_point now, unsigned baud, size_t count) {
    if (!Paced() || count == 0) return;
    const double seconds = static_cast<double>(count) / BytesPerSecond(baud);
    // A line kept busy sends back to back even when this process wakes a little late; only a
    // line idle for longer than a slice starts again from now.
    const auto slice =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kSliceSeconds));
    const Clock::time_point start = now - freeAt_ > slice ? now : freeAt_;
    freeAt_ =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

LinePacer::Clock::duration LinePacer::Scaled(unsigned ms) const {
    if (!Paced() || ms == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms / factor_));
}

}  // namespace pelorin::sim
