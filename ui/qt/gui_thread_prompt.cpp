// Waking the window's thread for a message box asked for by the worker.
#include "ui/qt/gui_thread_prompt.h"

#include <QCoreApplication>
#include <QEvent>

namespace pelorin::ui {
namespace {

QEvent::Type PromptEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

GuiThreadPrompt::GuiThreadPrompt(IOperatorPrompt& inner)
    : core_(inner, [this] {
          auto* event = new QEvent(PromptEventType());
          fence_.Passed();
          QCoreApplication::postEvent(this, event);
      }) {}

bool GuiThreadPrompt::event(QEvent* event) {
    fence_.Received();
    if (event->type() != PromptEventType()) return QObject::event(event);
    core_.ShowNext();
    return true;
}

}  // namespace pelorin::ui
