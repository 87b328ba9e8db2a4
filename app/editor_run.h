// The program's test mode for the configuration editor: types the unlock sequence into the
// editor through the event queue, then either puts the text of a file into it and clicks away,
// answering Yes to the save question, or types Control+R. Message boxes are printed and
// answered. The window then ends as it does for the operator, with the layout helper started.
#pragma once

#include <QTimer>
#include <string>

#include "session/operator_prompt.h"

namespace pelorin::ui {
class LoaderWindow;
}

namespace pelorin::app {

class EditorRunner final : public IOperatorPrompt {
  public:
    // `textFile` empty: restore the built-in layout.
    explicit EditorRunner(std::string textFile) : textFile_(std::move(textFile)) {}

    void Attach(ui::LoaderWindow& window);
    // 0 when the window ended by the editor's hand-over.
    int ExitStatus() const;

    PromptAnswer Show(const PromptRequest& request) override;

  private:
    void Step();
    void Unlock();
    void Edit();

    std::string textFile_;
    ui::LoaderWindow* window_ = nullptr;
    QTimer steps_;
    int step_ = 0;
};

}  // namespace pelorin::app
