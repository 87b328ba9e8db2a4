// The protocol's fixed pauses go through this, so tests can check them without sleeping.
#pragma once

#include <chrono>
#include <thread>

namespace pelorin {

class ISleeper {
  public:
    virtual ~ISleeper() = default;
    virtual void SleepMs(unsigned ms) = 0;
};

class RealSleeper final : public ISleeper {
  public:
    void SleepMs(unsigned ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

}  // namespace pelorin
