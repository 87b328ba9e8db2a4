// The program's test mode: presses the operation button through the event queue after
// start-up, answers the file dialogs and message boxes itself, prints what the window ends
// with and closes it. Lets a script drive the real program on a real display.
#pragma once

#include <QTimer>
#include <chrono>
#include <string>

#include "app/app_options.h"
#include "session/operator_prompt.h"
#include "ui/dialog/file_dialogs.h"

namespace pelorin::ui {
class LoaderWindow;
}

namespace pelorin::app {

class PressRunner final : public IOperatorPrompt, public ui::IFileDialogs {
  public:
    explicit PressRunner(PressRun run) : run_(std::move(run)) {}

    // Begins once the window's loop runs.
    void Attach(ui::LoaderWindow& window);
    // 0 when the window ended with "Mission completed".
    int ExitStatus() const { return exitStatus_; }

    PromptAnswer Show(const PromptRequest& request) override;
    std::optional<std::string> ChooseOpenFile(const std::vector<ui::FileFilterEntry>&) override {
        return run_.file;
    }
    std::optional<std::string> ChooseSaveFile(const std::vector<ui::FileFilterEntry>&) override {
        return run_.file;
    }

  private:
    void Press();
    void Watch();
    void Finish(const std::string& why);

    PressRun run_;
    ui::LoaderWindow* window_ = nullptr;
    QTimer watch_;
    std::chrono::steady_clock::time_point pressedAt_;
    bool sawRunning_ = false;
    bool sawError_ = false;
    int exitStatus_ = 1;
};

}  // namespace pelorin::app
