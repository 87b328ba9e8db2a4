// The thread prompt's wake-up as a queued toolkit event: requests of the worker are shown on
// the thread that owns this object.
#pragma once

#include <QObject>

#include "ui/dialog/thread_prompt.h"
#include "ui/qt/session_event.h"

namespace pelorin::ui {

class GuiThreadPrompt final : public QObject, public IOperatorPrompt {
  public:
    // `inner` shows the message; it is only ever called on the thread that owns this object.
    explicit GuiThreadPrompt(IOperatorPrompt& inner);

    PromptAnswer Show(const PromptRequest& request) override { return core_.Show(request); }
    void Close() { core_.Close(); }

  protected:
    bool event(QEvent* event) override;

  private:
    ThreadPrompt core_;
    PostedEventFence fence_;
};

}  // namespace pelorin::ui
