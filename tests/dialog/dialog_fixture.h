// The main window's logic for tests: over a recording surface, with its own profile, working
// folder and program file, a prompt and file dialogs that answer without an operator, and a
// sink whose messages the test delivers when it pumps, as a window's loop would.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "../config/temp_dir.h"
#include "fake_surface.h"
#include "operator_fakes.h"
#include "serial/message_queue.h"
#include "serial/serial_port.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/file_dialogs.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/profile.h"
#include "ui/dialog/thread_prompt.h"

namespace pelorin::testing {

// The worker's messages, queued until the test pumps them.
class QueuedSink final : public ISessionSink {
  public:
    void Post(uint32_t id, uint64_t wParam, int64_t lParam) override;
    void Beep() override;
    std::vector<Message> Take();

  private:
    std::mutex mutex_;
    std::vector<Message> queue_;
};

// A board that opens and never answers: its operation runs until it is cancelled.
class SilentPort final : public ISerialPort {
  public:
    bool Open(unsigned port, const char*) override { return open_ = port >= 1 && port <= 1024; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    unsigned Read(uint8_t*, unsigned, unsigned) override { return 0; }
    unsigned Write(const uint8_t*, unsigned length) override { return length; }

  private:
    std::atomic<bool> open_{false};
};

class DialogFixture {
  public:
    explicit DialogFixture(int baseUnitX = 6);
    ~DialogFixture();

    // The program file the window reads its layout from; with `layoutText` it carries that
    // text behind its trailer, else none (the built-in layout applies).
    void WriteProgram(const std::string& layoutText = {});
    ui::CLoaderDlg& Open(std::vector<ui::ExtraPort> extraPorts = {});
    void Close();

    ui::CLoaderDlg& Dlg() { return *dialog_; }
    FakeSurface& Surface() { return *surface_; }
    ui::MemoryProfile& Profile() { return profile_; }
    std::filesystem::path Dir() const { return dir_.Path(); }
    const std::filesystem::path& ProgramPath() const { return programPath_; }
    std::filesystem::path WriteFile(const std::string& name, size_t bytes, uint8_t seed = 1) const;

    std::string Text(int id) const { return surface_->Text(id); }
    bool Enabled(int id) const { return surface_->Enabled(id); }
    // The operator picks item `index` of a list, or the item `text`.
    void Choose(int listId, int index);
    void ChooseText(int listId, const std::string& text);
    // The operator clicks a button; a disabled or hidden one takes no click.
    void Click(int buttonId);
    // Delivers the worker's messages, the deferred calls and waiting message boxes.
    void Pump();
    // Pumps until `done` holds or `limit` passes; false on time-out.
    bool WaitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(60));

    RecordingPrompt prompt;
    ScriptedFileDialogs dialogs;
    // Command lines the window started, and whether starting succeeds.
    std::vector<std::string> started;
    bool startSucceeds = true;
    // Boards of the windows opened from now on: silent ones, else the computer's ports.
    bool silentBoard = false;
    // The ports the windows opened from now on list; null: the computer's.
    std::function<std::vector<SerialPortInfo>()> listPorts;

  private:
    TempDir dir_;
    int baseUnitX_;
    ui::MemoryProfile profile_;
    std::filesystem::path programPath_;
    std::unique_ptr<FakeSurface> surface_;
    QueuedSink sink_;
    std::unique_ptr<ui::ThreadPrompt> threadPrompt_;
    std::unique_ptr<ui::CLoaderDlg> dialog_;
};

}  // namespace pelorin::testing
