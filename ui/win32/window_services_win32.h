// The window's services on Windows: message boxes for the operator's prompts, and the common
// open and save dialogs.
#pragma once

#include <windows.h>

#include <functional>

#include "session/operator_prompt.h"
#include "ui/dialog/file_dialogs.h"

namespace pelorin::ui {

// MessageBoxW owned by the window `owner()` gives (null before it exists). Call it on the
// window's thread only; ThreadPrompt brings the worker's requests there.
class MessageBoxPrompt final : public IOperatorPrompt {
  public:
    explicit MessageBoxPrompt(std::function<HWND()> owner) : owner_(std::move(owner)) {}
    PromptAnswer Show(const PromptRequest& request) override;

  private:
    std::function<HWND()> owner_;
};

// The MessageBoxW flags of a request: its icon and buttons, Cancel the default with Cancel.
UINT MessageBoxFlags(const PromptRequest& request);
PromptAnswer AnswerOfMessageBox(int result);

class CommonFileDialogs final : public IFileDialogs {
  public:
    explicit CommonFileDialogs(std::function<HWND()> owner) : owner_(std::move(owner)) {}
    std::optional<std::string> ChooseOpenFile(const std::vector<FileFilterEntry>& filter) override;
    std::optional<std::string> ChooseSaveFile(const std::vector<FileFilterEntry>& filter) override;

  private:
    std::optional<std::string> Choose(const std::vector<FileFilterEntry>& filter, bool save);
    std::function<HWND()> owner_;
};

// The common dialogs' filter: display and patterns, each ended by a NUL, then one more NUL.
std::wstring CommonDialogFilter(const std::vector<FileFilterEntry>& filter);

}  // namespace pelorin::ui
