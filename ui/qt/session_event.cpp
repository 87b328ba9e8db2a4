// Worker notifications as queued events.
#include "ui/qt/session_event.h"

#include <QCoreApplication>

namespace pelorin::ui {

QEvent::Type SessionEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void WindowSink::Post(uint32_t id, uint64_t wParam, int64_t lParam) {
    auto* event = new SessionEvent(id, wParam, lParam);
    fence_.Passed();
    QCoreApplication::postEvent(&receiver_, event);
}

}  // namespace pelorin::ui
