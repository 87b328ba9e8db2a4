// Thread message queue.
#include "serial/message_queue.h"

namespace pelorin {

bool MessageQueue::Post(uint32_t id, uint64_t wParam, int64_t lParam) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        messages_.push_back({id, wParam, lParam});
    }
    ready_.notify_one();
    return true;
}

bool MessageQueue::Get(Message& out) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !messages_.empty() || closed_; });
    if (messages_.empty()) return false;
    out = messages_.front();
    messages_.pop_front();
    return true;
}

bool MessageQueue::GetFor(Message& out, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !messages_.empty() || closed_; }))
        return false;
    if (messages_.empty()) return false;
    out = messages_.front();
    messages_.pop_front();
    return true;
}

bool MessageQueue::Peek(Message& out) {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return false;
    out = messages_.front();
    messages_.pop_front();
    return true;
}

void MessageQueue::CloseQueue() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}

size_t MessageQueue::Size() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

}  // namespace pelorin
