// The window under test.
#include "window_fixture.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>
#include <fstream>
#include <thread>

namespace pelorin::testing {

WindowFixture::WindowFixture()
    : profile_(std::make_unique<ui::Profile>(
          ui::Profile::AtFile(dir_.filePath(QStringLiteral("profile.ini"))))) {
    WriteProgram();
}

WindowFixture::~WindowFixture() {
    window_.reset();
}

void WindowFixture::WriteProgram(const std::string& layoutText) {
    programPath_ = Dir() / "pelorin-under-test";
    WriteProgramFile(programPath_, layoutText);
}

ui::LoaderWindow& WindowFixture::Open(std::vector<ui::ExtraPort> extraPorts) {
    window_.reset();
    ui::LoaderWindowSetup windowSetup;
    ui::LoaderDlgSetup& setup = windowSetup.dialog;
    setup.programPath = programPath_;
    setup.profile = profile_.get();
    setup.prompt = &prompt;
    setup.fileDialogs = &dialogs;
    setup.extraPorts = std::move(extraPorts);
    windowSetup.showAbout = [this](QWidget&, IOperatorPrompt&) { ++aboutShown; };
    setup.startProgram = [this](const std::string& line, std::string* error) {
        started.push_back(line);
        if (!startSucceeds) *error = "Cannot start " + line + ": Exec format error";
        return startSucceeds;
    };
    setup.tempBase = (Dir() / "work").string();
    std::filesystem::create_directories(setup.tempBase);
    window_ = std::make_unique<ui::LoaderWindow>(windowSetup);
    window_->show();
    return *window_;
}

std::filesystem::path WindowFixture::WriteFile(const std::string& name, size_t bytes,
                                               uint8_t seed) const {
    WriteSeededFile(Dir() / name, bytes, seed);
    return Dir() / name;
}

QString WindowFixture::Text(int id) {
    QWidget* control = window_->Control(id);
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
    return {};
}

void WindowFixture::Choose(int listId, int index) {
    auto* list = Get<QComboBox>(listId);
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void WindowFixture::ChooseText(int listId, const QString& text) {
    Choose(listId, Get<QComboBox>(listId)->findText(text));
}

void WindowFixture::Click(int buttonId) {
    QTest::mouseClick(Get<QAbstractButton>(buttonId), Qt::LeftButton);
}

bool WindowFixture::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace pelorin::testing
