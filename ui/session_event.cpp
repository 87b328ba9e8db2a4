// Worker notifications as queued events.
#include "ui/session_event.h"

#include <QCoreApplication>

namespace pelorin::ui {

SessionEvent::SessionEvent(uint32_t id, uint64_t wParam, int64_t lParam)
    : QEvent(EventType()), id_(id), wParam_(wParam), lParam_(lParam) {}

QEvent::Type SessionEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

uint32_t SessionEvent::Id() const {
    Unseal();
    return id_;
}

uint64_t SessionEvent::WParam() const {
    Unseal();
    return wParam_;
}

int64_t SessionEvent::LParam() const {
    Unseal();
    return lParam_;
}

void WindowSink::Post(uint32_t id, uint64_t wParam, int64_t lParam) {
    auto* event = new SessionEvent(id, wParam, lParam);
    event->Seal();
    QCoreApplication::postEvent(&receiver_, event);
}

}  // namespace pelorin::ui
