// Values the window (or command line) and the worker share: one object per worker. Texts and
// the header are guarded; flags are atomics. The order of use still matters (the requester
// writes the header before it posts the open request), but no access is a data race.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "base/hardware_info.h"
#include "serial/message_queue.h"
#include "serial/port_names.h"
#include "session/dump_file.h"
#include "session/session_header.h"

namespace pelorin {

inline constexpr size_t kStatusTextBytes = 1024;

// Open request results: pending, failed, or a value that is neither (see OpenResultFor).
inline constexpr uint8_t kOpenPending = 0;
inline constexpr uint8_t kOpenFailed = 0xFF;
// Success value for a port: never 0 or 0xFF, whatever the port number.
constexpr uint8_t OpenResultFor(unsigned port) {
    return static_cast<uint8_t>(port % 254 + 1);
}

class SharedState {
  public:
    // The port name table starts with the explicit numbers of the environment.
    SharedState() { LoadPortMapFromEnvironment(portNames); }

    // Status text (at most 1023 characters kept).
    void SetStatusText(std::string_view text);
    std::string StatusText() const;

    // Open request result byte.
    void SetOpenResult(uint8_t value);
    uint8_t OpenResult() const { return openResult_.load(); }
    // Waits until the result is no longer pending; returns it (kOpenPending on time-out).
    uint8_t WaitOpenResult(std::chrono::milliseconds timeout) const;

    void SetSessionHeader(const SessionHeader& header);
    SessionHeader GetSessionHeader() const;
    void SetDataFilePath(std::string path);
    std::string DataFilePath() const;
    void SetHardwareInfo(const HardwareInfo& info);
    pelorin::HardwareInfo HardwareInfo() const;

    // Posts to the worker's queue; false when no worker runs.
    bool PostToWorker(uint32_t id, uint64_t wParam = 0, int64_t lParam = 0);
    void SetWorkerQueue(MessageQueue* queue) { workerQueue_.store(queue); }
    bool HasWorker() const { return workerQueue_.load() != nullptr; }

    std::atomic<bool> awaitBootRom{false};
    // Bytes the port had queued before the current data stream began (see ISerialPort).
    std::atomic<uint64_t> sendStartQueued{0};
    // Bytes of the current dump that arrived.
    std::atomic<uint64_t> dumpReceived{0};
    std::atomic<bool> dumpCancel{false};
    DumpFile dumpFile;
    // Port numbers of devices outside the fixed ranges; the port object resolves through it.
    PortNameTable portNames;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable openChanged_;
    std::string statusText_;
    std::atomic<uint8_t> openResult_{kOpenPending};
    SessionHeader sessionHeader_;
    std::string dataFilePath_;
    pelorin::HardwareInfo hardwareInfo_{};
    std::atomic<MessageQueue*> workerQueue_{nullptr};
};

}  // namespace pelorin
