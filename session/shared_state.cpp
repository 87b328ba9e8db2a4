// Shared state between the requester and the worker.
#include "session/shared_state.h"

namespace pelorin {

void SharedState::SetStatusText(std::string_view text) {
    std::lock_guard lock(mutex_);
    statusText_.assign(text.substr(0, kStatusTextBytes - 1));
}

std::string SharedState::StatusText() const {
    std::lock_guard lock(mutex_);
    return statusText_;
}

void SharedState::SetOpenResult(uint8_t value) {
    {
        std::lock_guard lock(mutex_);
        openResult_.store(value);
    }
    openChanged_.notify_all();
}

uint8_t SharedState::WaitOpenResult(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    openChanged_.wait_for(lock, timeout, [this] { return openResult_.load() != kOpenPending; });
    return openResult_.load();
}

void SharedState::SetSessionHeader(const SessionHeader& header) {
    std::lock_guard lock(mutex_);
    sessionHeader_ = header;
}

SessionHeader SharedState::GetSessionHeader() const {
    std::lock_guard lock(mutex_);
    return sessionHeader_;
}

void SharedState::SetDataFilePath(std::string path) {
    std::lock_guard lock(mutex_);
    dataFilePath_ = std::move(path);
}

std::string SharedState::DataFilePath() const {
    std::lock_guard lock(mutex_);
    return dataFilePath_;
}

void SharedState::SetHardwareInfo(const pelorin::HardwareInfo& info) {
    std::lock_guard lock(mutex_);
    hardwareInfo_ = info;
}

HardwareInfo SharedState::HardwareInfo() const {
    std::lock_guard lock(mutex_);
    return hardwareInfo_;
}

bool SharedState::PostToWorker(uint32_t id, uint64_t wParam, int64_t lParam) {
    MessageQueue* queue = workerQueue_.load();
    return queue && queue->Post(id, wParam, lParam);
}

}  // namespace pelorin
