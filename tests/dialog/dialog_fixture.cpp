// The window's logic under test.
#include "dialog_fixture.h"

#include <fstream>
#include <thread>

#include "config/default_layout.h"
#include "config/layout_trailer.h"
#include "ui/dialog/window_messages.h"

namespace pelorin::testing {

PromptAnswer RecordingPrompt::Show(const PromptRequest& request) {
    shown.push_back(request);
    if (onShow) onShow();
    if (answers.empty()) return DefaultAnswer(request.buttons);
    const PromptAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

size_t RecordingPrompt::CountWithCaption(const std::string& caption) const {
    size_t count = 0;
    for (const PromptRequest& r : shown) count += r.caption == caption;
    return count;
}

std::optional<std::string> ScriptedFileDialogs::ChooseOpenFile(
    const std::vector<ui::FileFilterEntry>& f) {
    ++opens;
    filter = f;
    return next;
}

std::optional<std::string> ScriptedFileDialogs::ChooseSaveFile(
    const std::vector<ui::FileFilterEntry>& f) {
    ++saves;
    filter = f;
    return next;
}

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
    const std::vector<uint8_t> image(4096, 0x90);
    std::vector<uint8_t> bytes = image;
    if (!layoutText.empty()) bytes = *AppendLayoutTrailer(image, layoutText);
    WriteBytes(programPath_, bytes);
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
    setup.tempBase = (Dir() / "work").string();
    std::filesystem::create_directories(setup.tempBase);
    dialog_ = std::make_unique<ui::CLoaderDlg>(setup, *surface_);
    dialog_->OnInitDialog();
    return *dialog_;
}

std::filesystem::path DialogFixture::WriteFile(const std::string& name, size_t bytes,
                                               uint8_t seed) const {
    std::string data(bytes, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    WriteText(Dir() / name, data);
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

std::string DefaultLayoutWith(const std::vector<std::pair<std::string, std::string>>& edits) {
    std::string text = DefaultLayoutText();
    for (const auto& [from, to] : edits) {
        const size_t at = text.find(from);
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace pelorin::testing
