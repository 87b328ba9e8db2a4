// Marshalling of message boxes to the window's thread, with standard-library locks so that
// the hand-over is visible to the thread sanitizer.
#include "ui/gui_thread_prompt.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace pelorin::ui {
namespace {

QEvent::Type PromptEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

PromptAnswer GuiThreadPrompt::Dismissed(const PromptRequest& request) {
    return DefaultAnswer(request.buttons);
}

PromptAnswer GuiThreadPrompt::Show(const PromptRequest& request) {
    if (QThread::currentThread() == thread()) return inner_.Show(request);
    return FromOtherThread(request);
}

PromptAnswer GuiThreadPrompt::FromOtherThread(const PromptRequest& request) {
    auto pending = std::make_shared<Pending>();
    pending->request = request;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return Dismissed(request);
        queue_.push_back(pending);
    }
    auto* event = new QEvent(PromptEventType());
    fence_.Passed();
    QCoreApplication::postEvent(this, event);
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return pending->done || closed_; });
    return pending->done ? pending->answer : Dismissed(request);
}

void GuiThreadPrompt::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
    answered_.notify_all();
}

bool GuiThreadPrompt::event(QEvent* event) {
    fence_.Received();
    if (event->type() != PromptEventType()) return QObject::event(event);
    ShowNext();
    return true;
}

void GuiThreadPrompt::ShowNext() {
    std::shared_ptr<Pending> pending;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return;
        pending = queue_.front();
        queue_.pop_front();
    }
    const PromptAnswer answer = inner_.Show(pending->request);
    std::lock_guard lock(mutex_);
    pending->answer = answer;
    pending->done = true;
    answered_.notify_all();
}

}  // namespace pelorin::ui
