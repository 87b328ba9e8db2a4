// Message boxes may be asked for by the worker thread, but only the window's thread may show
// them. Called on the window's thread, this shows at once; called from another thread, it
// queues the request, wakes the window's thread through `wake` and waits for the answer,
// which the window's thread gives by calling ShowNext.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "session/operator_prompt.h"

namespace pelorin::ui {

class ThreadPrompt final : public IOperatorPrompt {
  public:
    // Made on the window's thread. `inner` shows the message and is only called on that
    // thread; `wake` may be called from any thread and must make it call ShowNext soon.
    ThreadPrompt(IOperatorPrompt& inner, std::function<void()> wake)
        : inner_(inner), wake_(std::move(wake)), owner_(std::this_thread::get_id()) {}
    ~ThreadPrompt() override { Close(); }

    PromptAnswer Show(const PromptRequest& request) override;
    // On the window's thread: shows the oldest waiting request, if any.
    void ShowNext();
    // The window is going: requests still waiting, and any later one from another thread, get
    // the answer that dismisses them (OK, or the safe answer to a question), so the worker can
    // end.
    void Close();

  private:
    struct Pending {
        PromptRequest request;
        PromptAnswer answer = PromptAnswer::Ok;
        bool done = false;
    };

    PromptAnswer FromOtherThread(const PromptRequest& request);

    IOperatorPrompt& inner_;
    std::function<void()> wake_;
    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool closed_ = false;
};

}  // namespace pelorin::ui
