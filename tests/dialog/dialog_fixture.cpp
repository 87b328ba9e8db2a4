// The window's logic under test.
#include "dialog_fixture.h"

#include <fstream>
#include <thread>

#include "ui/dialog/window_messages.h"

namespace pelorin::testing {

void QueuedSink::Post(uint32_t id, uint64_t wParam, int64_t lParam) {
    std::lock_guard lock(mutex_);
    queue_.push_back({id, wParam, lParam});
}

void QueuedSink::Beep() {
    Post(ui::kBeepMessage, 0, 0);
}

std::vector<Message> QueuedSink::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(queue_, {});
}

DialogFixture::DialogFixture(int baseUnitX) : baseUnitX_(baseUnitX) {
    WriteProgram();
}

DialogFixture::~DialogFixture() {
    Close();
}

void DialogFixture::Close() {
    if (threadPrompt_) threadPrompt_->Close();
    dialog_.reset();
    threadPrompt_.reset();
}

void DialogFixture::WriteProgram(const std::string& layoutText) {
    programPath_ = Dir() / "pelorin-under-test";
    WriteProgramFile(programPath_, layoutText);
}

ui::CLoaderDlg& DialogFixture::Open(std::vector<ui::ExtraPort> extraPorts) {
    Close();
    surface_ = std::make_unique<FakeSurface>(ui::MainWindowTemplate(), baseUnitX_);
    threadPrompt_ = std::make_unique<ui::ThreadPrompt>(prompt, [] {});
    ui::LoaderDlgSetup setup;
    setup.programPath = programPath_;
    setup.profile = &profile_;
    setup.prompt = threadPrompt_.get();
    setup.fileDialogs = &dialogs;
    setup.sink = &sink_;
    setup.extraPorts = std::move(extraPorts);
    setup.startProgram = [this](const std::string& line, std::string* error) {
        started.push_back(line);
        if (!startSucceeds) *error = "Cannot start " + line + ": Exec format error";
        return startSucceeds;
    };
    setup.listPorts = listPorts;
    if (silentBoard) setup.makePort = [] { return std::make_unique<SilentPort>(); };
    setup.tempBase = (Dir() / "work").string();
    std::filesystem::create_directories(setup.tempBase);
    dialog_ = std::make_unique<ui::CLoaderDlg>(setup, *surface_);
    dialog_->OnInitDialog();
    return *dialog_;
}

std::filesystem::path DialogFixture::WriteFile(const std::string& name, size_t bytes,
                                               uint8_t seed) const {
    WriteSeededFile(Dir() / name, bytes, seed);
    return Dir() / name;
}

void DialogFixture::Choose(int listId, int index) {
    surface_->Select(listId, index);
    dialog_->OnCommand(listId, ui::Notification::SelectionChanged);
}

void DialogFixture::ChooseText(int listId, const std::string& text) {
    const auto& items = surface_->At(listId).items;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text) return Choose(listId, int(i));
    Choose(listId, -1);
}

void DialogFixture::Click(int buttonId) {
    const FakeControl& button = surface_->At(buttonId);
    if (button.enabled && button.shown) dialog_->OnCommand(buttonId, ui::Notification::Clicked);
}

void DialogFixture::Pump() {
    threadPrompt_->ShowNext();
    for (const Message& m : sink_.Take()) dialog_->Dispatch(m.id, m.wParam, m.lParam);
    surface_->RunDeferred();
}

bool DialogFixture::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (Pump(); !done(); Pump()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace pelorin::testing
