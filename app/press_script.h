// The window program's test mode, the same on every platform: the checks the command line
// makes of its arguments, in the same words; the choices made in the window as the operator
// makes them; the watch for the operation's end; and what is printed at the end. A view only
// delivers the clicks and calls Watch a few times a second.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "app/app_options.h"
#include "session/operator_prompt.h"
#include "ui/dialog/dialog_surface.h"
#include "ui/dialog/file_dialogs.h"

namespace pelorin::ui {
class CLoaderDlg;
}

namespace pelorin::app {

// The exit status of a test run whose arguments do not fit, as with the command line.
inline constexpr int kBadArgumentStatus = 2;

class PressScript final : public IOperatorPrompt, public ui::IFileDialogs {
  public:
    explicit PressScript(PressRun run) : run_(std::move(run)) {}

    // Checks the run against the window's layout and chooses the mode, section and port in
    // the window. Error text, empty when the press may go ahead; on an error nothing is
    // pressed and the exit status is kBadArgumentStatus.
    std::string Prepare(ui::IDialogSurface& surface, ui::CLoaderDlg& logic);
    const PressRun& Run() const { return run_; }
    // Right after the clicks were delivered.
    void Pressed();
    // True once the run is over: the operation ended, was refused, or took too long. The
    // ending is then printed and the exit status set.
    bool Watch(const ui::IDialogSurface& surface, const ui::CLoaderDlg& logic);
    // 0 after "Mission completed".
    int ExitStatus() const { return exitStatus_; }

    // Message boxes are printed and answered with the safe answer; from any thread.
    PromptAnswer Show(const PromptRequest& request) override;
    std::optional<std::string> ChooseOpenFile(const std::vector<ui::FileFilterEntry>&) override {
        return run_.file;
    }
    std::optional<std::string> ChooseSaveFile(const std::vector<ui::FileFilterEntry>&) override {
        return run_.file;
    }

  private:
    std::string Check(const ui::CLoaderDlg& logic) const;
    void Finish(const ui::IDialogSurface& surface, const std::string& why);

    PressRun run_;
    std::chrono::steady_clock::time_point pressedAt_;
    unsigned startsBefore_ = 0;
    std::atomic<bool> sawError_{false};
    int exitStatus_ = 1;
};

}  // namespace pelorin::app
