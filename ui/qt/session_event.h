// A message of the worker as a queued toolkit event: the id and its two integers, nothing
// else. The window's sink posts one per notification; the window's message map takes them.
#pragma once

#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>

#include "session/session_sink.h"
#include "ui/dialog/window_messages.h"

namespace pelorin::ui {

class SessionEvent final : public QEvent {
  public:
    SessionEvent(uint32_t id, uint64_t wParam, int64_t lParam)
        : QEvent(EventType()), id_(id), wParam_(wParam), lParam_(lParam) {}
    static QEvent::Type EventType();

    uint32_t Id() const { return id_; }
    uint64_t WParam() const { return wParam_; }
    int64_t LParam() const { return lParam_; }

  private:
    uint32_t id_;
    uint64_t wParam_;
    int64_t lParam_;
};

// The toolkit's event queue hands events between threads under locks the thread sanitizer
// cannot see. The fence makes the hand-over visible: the poster passes it after building an
// event, the receiver before reading any.
class PostedEventFence {
  public:
    void Passed() { count_.fetch_add(1, std::memory_order_release); }
    void Received() const { (void)count_.load(std::memory_order_acquire); }

  private:
    std::atomic<uint64_t> count_{0};
};

// The window's side of the worker's notifications: every Post becomes a SessionEvent queued
// to `receiver`; the beep too. Safe to call from any thread; never blocks.
class WindowSink final : public ISessionSink {
  public:
    explicit WindowSink(QObject& receiver) : receiver_(receiver) {}
    void Post(uint32_t id, uint64_t wParam, int64_t lParam) override;
    void Beep() override { Post(kBeepMessage, 0, 0); }
    // The receiver calls this before it reads an event.
    void Received() const { fence_.Received(); }

  private:
    QObject& receiver_;
    PostedEventFence fence_;
};

}  // namespace pelorin::ui
