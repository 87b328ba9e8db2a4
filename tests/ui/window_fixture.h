// The real main window for tests: its own profile file, working folder and program file, a
// prompt and file dialogs that answer without an operator, and helpers that act on controls
// as the operator does.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/operator_prompt.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/file_dialogs.h"
#include "ui/qt/loader_window.h"
#include "ui/qt/qt_profile.h"

namespace pelorin::testing {

// Records every message box and answers it with the next of `answers`, or, when none is
// left, with the safe answer (OK, No to a question, Cancel where offered).
class RecordingPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& request) override {
        shown.push_back(request);
        if (answers.empty()) return DefaultAnswer(request.buttons);
        const PromptAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    size_t CountWithCaption(const std::string& caption) const;
    std::vector<PromptRequest> shown;
    std::deque<PromptAnswer> answers;
};

// Answers the next file dialog with `next` (none: the operator cancels).
class ScriptedFileDialogs final : public ui::IFileDialogs {
  public:
    std::optional<std::string> ChooseOpenFile(const std::vector<ui::FileFilterEntry>& f) override {
        ++opens;
        filter = f;
        return next;
    }
    std::optional<std::string> ChooseSaveFile(const std::vector<ui::FileFilterEntry>& f) override {
        ++saves;
        filter = f;
        return next;
    }
    std::optional<std::string> next;
    std::vector<ui::FileFilterEntry> filter;
    int opens = 0;
    int saves = 0;
};

class WindowFixture {
  public:
    WindowFixture();
    ~WindowFixture();

    // The program file the window reads its layout from; with `layoutText` it carries that
    // text behind its trailer, else none (the built-in layout applies).
    void WriteProgram(const std::string& layoutText = {});
    ui::LoaderWindow& Open(std::vector<ui::ExtraPort> extraPorts = {});
    void Close() { window_.reset(); }

    ui::LoaderWindow& Window() { return *window_; }
    ui::Profile& Profile() { return *profile_; }
    std::filesystem::path Dir() const { return dir_.path().toStdString(); }
    const std::filesystem::path& ProgramPath() const { return programPath_; }
    std::filesystem::path WriteFile(const std::string& name, size_t bytes, uint8_t seed = 1) const;

    template <class T>
    T* Get(int id) {
        return window_->ControlAs<T>(id);
    }
    QString Text(int id);  // a label's, button's or list's current text
    // The operator picks item `index` of a list.
    void Choose(int listId, int index);
    void ChooseText(int listId, const QString& text);
    void Click(int buttonId);
    // Processes events until `done` holds or `limit` passes; false on time-out.
    bool WaitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(60));

    RecordingPrompt prompt;
    ScriptedFileDialogs dialogs;
    int aboutShown = 0;
    // Command lines the window started, and whether starting succeeds.
    std::vector<std::string> started;
    bool startSucceeds = true;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<ui::Profile> profile_;
    std::filesystem::path programPath_;
    std::unique_ptr<ui::LoaderWindow> window_;
};

// The default layout's text with `from` replaced by `to` in each pair (for [Config] lines).
std::string DefaultLayoutWith(const std::vector<std::pair<std::string, std::string>>& edits);

}  // namespace pelorin::testing
