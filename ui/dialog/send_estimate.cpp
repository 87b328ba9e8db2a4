// One tick of the send estimate.
#include "ui/dialog/send_estimate.h"

namespace pelorin::ui {

SendEstimate::Step SendEstimate::Tick() {
    estimate_ += kSendEstimateBytesPerTick;
    // An empty write is complete at once; the percent would otherwise divide by zero.
    if (length_ == 0) return {100, true};
    const double percent = double(estimate_) / double(length_) * 100.0;
    if (percent >= 100.0) return {100, true};
    return {static_cast<unsigned>(percent), false};
}

}  // namespace pelorin::ui
