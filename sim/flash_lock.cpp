// What both platforms' flash locks share: moving and the busy text.
#include "sim/flash_lock.h"

#include <utility>

namespace pelorin::sim {

FlashLock& FlashLock::operator=(FlashLock&& other) noexcept {
    if (this != &other) {
        Release();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

std::string FlashBusyText(const std::string& flashPath) {
    return "the simulated board is busy: its flash file " + flashPath +
           " is in use by another simulated board";
}

}  // namespace pelorin::sim
