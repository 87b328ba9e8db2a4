// A message of the worker as a queued toolkit event: the id and its two integers, nothing
// else. The window's sink posts one per notification; the window's message map takes them.
#pragma once

#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>

#include "session/session_sink.h"

namespace pelorin::ui {

// Posted instead of beeping on the worker thread: the window beeps when it arrives.
inline constexpr uint32_t kBeepMessage = 0x7F00;

class SessionEvent final : public QEvent {
  public:
    SessionEvent(uint32_t id, uint64_t wParam, int64_t lParam);
    static QEvent::Type EventType();

    // Reading the three values goes through the flag the poster set last. The toolkit's own
    // queue locking is invisible to the thread sanitizer; this makes the hand-over explicit.
    uint32_t Id() const;
    uint64_t WParam() const;
    int64_t LParam() const;

    void Seal() { sealed_.store(true, std::memory_order_release); }

  private:
    void Unseal() const { (void)sealed_.load(std::memory_order_acquire); }

    uint32_t id_;
    uint64_t wParam_;
    int64_t lParam_;
    std::atomic<bool> sealed_{false};
};

// The window's side of the worker's notifications: every Post becomes a SessionEvent queued
// to `receiver`; the beep too. Safe to call from any thread; never blocks.
class WindowSink final : public ISessionSink {
  public:
    explicit WindowSink(QObject& receiver) : receiver_(receiver) {}
    void Post(uint32_t id, uint64_t wParam, int64_t lParam) override;
    void Beep() override { Post(kBeepMessage, 0, 0); }

  private:
    QObject& receiver_;
};

}  // namespace pelorin::ui
