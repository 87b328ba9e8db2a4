// One simulated board per flash file: a claim on "<flash>.lock" beside the flash, held while a
// board uses the flash and dropped by the system when the holder ends, however it ends. The
// flash file itself is replaced at every save, so it cannot carry the claim.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "config/file_claim.h"

namespace pelorin::sim {

inline constexpr const char* kFlashLockSuffix = ".lock";

class FlashLock {
  public:
    // Takes the lock of the flash file `flashPath` without waiting. nullopt, with `error` set,
    // when another board holds it (the simulated board is busy) or it cannot be taken.
    static std::optional<FlashLock> Take(const std::string& flashPath, std::string& error);

  private:
    explicit FlashLock(std::unique_ptr<FileClaim> claim) : claim_(std::move(claim)) {}

    std::unique_ptr<FileClaim> claim_;
};

// The error text of a flash another board holds.
std::string FlashBusyText(const std::string& flashPath);

}  // namespace pelorin::sim
