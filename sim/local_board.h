// The simulated board inside the host's process, as a serial port: the target model on a thread
// of its own, which prompts as the boot ROM does while it waits, holds each transmission for
// its simulated work, and posts a receive notification when bytes arrive for the host. Needs
// no pseudo-terminal, so the window program on Windows lists it as one more port
// (serial/local_devices.h). Opening it anew powers the board on again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "serial/serial_port.h"
#include "sim/target_model.h"

namespace pelorin::sim {

struct LocalBoardOptions {
    double paceFactor = 8.0;  // simulated work runs this much faster; 0: no waiting at all
    unsigned promptMs = 100;  // the boot ROM's prompt period
    std::string flashPath;    // written after every operation; empty: kept in memory only
};

class LocalBoard final : public ISerialPort {
  public:
    LocalBoard(TargetConfig config, LocalBoardOptions options);
    ~LocalBoard() override;
    LocalBoard(const LocalBoard&) = delete;
    LocalBoard& operator=(const LocalBoard&) = delete;

    bool Open(unsigned port, const char* settings) override;
    void Close() override;
    bool IsOpen() const override;
    unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) override;
    unsigned Write(const uint8_t* data, unsigned length) override;
    void SetNotifyTarget(MessageQueue* target) override;
    uint64_t BytesQueued() const override;
    uint64_t BytesLeftHost() const override;

    // A copy of the flash as it is now.
    std::vector<uint8_t> Flash() const;
    // Operations the board finished since it was made.
    unsigned Operations() const;

  private:
    using Clock = std::chrono::steady_clock;
    void Loop();
    void Step(Clock::time_point now);
    void SaveFlashFile() const;

    LocalBoardOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    TargetModel model_;
    bool open_ = false;
    bool stop_ = false;
    unsigned port_ = 0;
    unsigned baud_ = 0;
    MessageQueue* target_ = nullptr;
    std::deque<uint8_t> received_;
    uint64_t written_ = 0;
    std::optional<TargetChunk> current_;
    Clock::time_point readyAt_{};
    Clock::time_point nextPrompt_{};
    bool finishedSeen_ = false;
    unsigned operations_ = 0;
    std::thread thread_;
};

}  // namespace pelorin::sim
