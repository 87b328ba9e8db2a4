// Marshalling of message boxes to the window's thread.
#include "ui/dialog/thread_prompt.h"

namespace pelorin::ui {

PromptAnswer ThreadPrompt::Show(const PromptRequest& request) {
    if (std::this_thread::get_id() == owner_) return inner_.Show(request);
    return FromOtherThread(request);
}

PromptAnswer ThreadPrompt::FromOtherThread(const PromptRequest& request) {
    auto pending = std::make_shared<Pending>();
    pending->request = request;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return DefaultAnswer(request.buttons);
        queue_.push_back(pending);
    }
    wake_();
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return pending->done || closed_; });
    return pending->done ? pending->answer : DefaultAnswer(request.buttons);
}

void ThreadPrompt::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
    answered_.notify_all();
}

void ThreadPrompt::ShowNext() {
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
