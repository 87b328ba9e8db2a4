// A thread's message queue: every message carries an id and two integers, nothing else.
// Any thread may post; one thread (the owner) takes. Posting never blocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace pelorin {

struct Message {
    uint32_t id = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

// Id the owner's loop treats as "end the loop".
inline constexpr uint32_t kQuitMessage = 0x0012;

class MessageQueue {
  public:
    // Queues the message; false once the queue has been closed (its owner has ended).
    bool Post(uint32_t id, uint64_t wParam = 0, int64_t lParam = 0);
    void PostQuit() { Post(kQuitMessage); }

    // Waits for the next message. Returns false when the queue is closed and empty.
    bool Get(Message& out);
    // As Get, waiting at most `timeout`; false on time-out.
    bool GetFor(Message& out, std::chrono::milliseconds timeout);
    // Takes a message if one is queued, without waiting.
    bool Peek(Message& out);

    // Refuses every later post and wakes the owner.
    void CloseQueue();
    size_t Size() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Message> messages_;
    bool closed_ = false;
};

}  // namespace pelorin
