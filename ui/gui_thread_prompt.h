// Message boxes may be asked for by the worker thread, but only the window's thread may show
// them. Called on the window's thread, this shows at once; called from another thread, it
// queues the request to the window's thread and waits for the operator's answer.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "session/operator_prompt.h"
#include "ui/session_event.h"

namespace pelorin::ui {

class GuiThreadPrompt final : public QObject, public IOperatorPrompt {
  public:
    // `inner` shows the message; it is only ever called on the thread that owns this object.
    explicit GuiThreadPrompt(IOperatorPrompt& inner) : inner_(inner) {}
    ~GuiThreadPrompt() override { Close(); }

    PromptAnswer Show(const PromptRequest& request) override;
    // The window is going: requests still waiting, and any later one from another thread, get
    // the answer that dismisses them (OK, or No to a question), so the worker can end.
    void Close();

  protected:
    bool event(QEvent* event) override;

  private:
    struct Pending {
        PromptRequest request;
        PromptAnswer answer = PromptAnswer::Ok;
        bool done = false;
    };

    PromptAnswer FromOtherThread(const PromptRequest& request);
    void ShowNext();
    static PromptAnswer Dismissed(const PromptRequest& request);

    IOperatorPrompt& inner_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool closed_ = false;
    PostedEventFence fence_;
};

}  // namespace pelorin::ui
