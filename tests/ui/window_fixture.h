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

#include "../dialog/operator_fakes.h"
#include "session/operator_prompt.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/file_dialogs.h"
#include "ui/qt/loader_window.h"
#include "ui/qt/qt_profile.h"

namespace pelorin::testing {

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

}  // namespace pelorin::testing
