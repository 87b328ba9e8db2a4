// The program's test modes on Windows, as on Linux: --press chooses the mode, section and port,
// presses the operation button through the window's messages, answers the file dialog and the
// message boxes, prints the final status line and ends; --edit-layout and --restore-layout type
// into the editor and let the window end as the editor does.
#pragma once

#include <windows.h>

#include <string>

#include "app/app_options.h"
#include "app/press_script.h"
#include "session/operator_prompt.h"
#include "ui/dialog/file_dialogs.h"

namespace pelorin::ui {
class CLoaderDlg;
class DialogViewWin32;
}  // namespace pelorin::ui

namespace pelorin::app {

// The test mode's script with its clicks delivered through the dialog's messages.
class PressRunnerWin32 final {
  public:
    explicit PressRunnerWin32(PressRun run) : script_(std::move(run)) {}

    // The window's prompt and file dialogs in this mode.
    PressScript& Script() { return script_; }
    // Begins once the window is shown.
    void Start(ui::DialogViewWin32& view, ui::CLoaderDlg& logic);
    int ExitStatus() const { return script_.ExitStatus(); }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);

    PressScript script_;
    ui::DialogViewWin32* view_ = nullptr;
    ui::CLoaderDlg* logic_ = nullptr;
    UINT_PTR timer_ = 0;
};

class EditorRunnerWin32 final : public IOperatorPrompt {
  public:
    // `textFile` empty: restore the built-in layout.
    explicit EditorRunnerWin32(std::string textFile) : textFile_(std::move(textFile)) {}
    void Start(ui::DialogViewWin32& view);
    PromptAnswer Show(const PromptRequest& request) override;

  private:
    void Edit();
    std::string textFile_;
    ui::DialogViewWin32* view_ = nullptr;
};

// Prints the section list of the shown window and ends it.
void PrintSections(ui::DialogViewWin32& view);

}  // namespace pelorin::app
