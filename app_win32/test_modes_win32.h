// The program's test modes on Windows, as on Linux: --press chooses the mode, section and port,
// presses the operation button through the window's messages, answers the file dialog and the
// message boxes, prints the final status line and ends; --edit-layout and --restore-layout type
// into the editor and let the window end as the editor does.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>

#include "app/app_options.h"
#include "session/operator_prompt.h"
#include "ui/dialog/file_dialogs.h"

namespace pelorin::ui {
class CLoaderDlg;
class DialogViewWin32;
}  // namespace pelorin::ui

namespace pelorin::app {

class PressRunnerWin32 final : public IOperatorPrompt, public ui::IFileDialogs {
  public:
    explicit PressRunnerWin32(PressRun run) : run_(std::move(run)) {}

    // Begins once the window is shown.
    void Start(ui::DialogViewWin32& view, ui::CLoaderDlg& logic);
    // 0 when the window ended with "Mission completed"; 2 when the port was not listed.
    int ExitStatus() const { return exitStatus_; }

    // Called from the worker's thread too.
    PromptAnswer Show(const PromptRequest& request) override;
    std::optional<std::string> ChooseOpenFile(const std::vector<ui::FileFilterEntry>&) override {
        return run_.file;
    }
    std::optional<std::string> ChooseSaveFile(const std::vector<ui::FileFilterEntry>&) override {
        return run_.file;
    }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Watch();
    void Finish(const std::string& why);

    PressRun run_;
    ui::DialogViewWin32* view_ = nullptr;
    ui::CLoaderDlg* logic_ = nullptr;
    UINT_PTR timer_ = 0;
    std::chrono::steady_clock::time_point pressedAt_;
    bool sawRunning_ = false;
    std::atomic<bool> sawError_{false};
    int exitStatus_ = 1;
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
