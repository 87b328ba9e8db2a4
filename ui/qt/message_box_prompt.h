// The operator's message boxes: modal, owned by the window, with the caption, icon and
// buttons asked for. Only for the window's thread (GuiThreadPrompt brings requests there).
#pragma once

#include <QWidget>

#include "session/operator_prompt.h"

namespace pelorin::ui {

class MessageBoxPrompt final : public IOperatorPrompt {
  public:
    explicit MessageBoxPrompt(QWidget* owner) : owner_(owner) {}
    PromptAnswer Show(const PromptRequest& request) override;

  private:
    QWidget* owner_;
};

}  // namespace pelorin::ui
