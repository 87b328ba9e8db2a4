// The flash lock: a claim on the lock file beside the flash.
#include "sim/flash_lock.h"

namespace pelorin::sim {

std::optional<FlashLock> FlashLock::Take(const std::string& flashPath, std::string& error) {
    const std::string lockPath = flashPath + kFlashLockSuffix;
    FileClaim::Failure failure = FileClaim::Failure::None;
    std::string why;
    std::unique_ptr<FileClaim> claim = FileClaim::TakeCreating(lockPath, failure, why);
    if (claim) return FlashLock(std::move(claim));
    if (failure == FileClaim::Failure::Busy)
        error = FlashBusyText(flashPath);
    else
        error =
            std::string(failure == FileClaim::Failure::CannotOpen ? "can't open" : "can't lock") +
            " the flash lock " + lockPath + ": " + why;
    return std::nullopt;
}

std::string FlashBusyText(const std::string& flashPath) {
    return "the simulated board is busy: its flash file " + flashPath +
           " is in use by another simulated board";
}

}  // namespace pelorin::sim
