// One simulated board per flash file: an advisory lock on "<flash>.lock" beside the flash,
// held while a board uses the flash and dropped by the system when the holder ends, however it
// ends. The flash file itself is replaced at every save, so it cannot carry the lock. One
// file per platform implements it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pelorin::sim {

inline constexpr const char* kFlashLockSuffix = ".lock";

class FlashLock {
  public:
    // Takes the lock of the flash file `flashPath` without waiting. nullopt, with `error` set,
    // when another board holds it (the simulated board is busy) or it cannot be taken.
    static std::optional<FlashLock> Take(const std::string& flashPath, std::string& error);

    FlashLock(FlashLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    FlashLock& operator=(FlashLock&& other) noexcept;
    FlashLock(const FlashLock&) = delete;
    FlashLock& operator=(const FlashLock&) = delete;
    ~FlashLock() { Release(); }

  private:
    explicit FlashLock(intptr_t handle) : handle_(handle) {}
    void Release();

    intptr_t handle_ = -1;
};

// The error text of a flash another board holds.
std::string FlashBusyText(const std::string& flashPath);

}  // namespace pelorin::sim
