// Test mode of the configuration editor.
#include "app/editor_run.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <cstdio>

#include "session/session_protocol.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/loader_window.h"

namespace pelorin::app {
namespace {

constexpr int kStepMs = 50;
constexpr int kActiveWaitSteps = 200;  // the window manager gets 10 s to activate the window

void PostKey(QWidget& widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QCoreApplication::postEvent(&widget, new QKeyEvent(QEvent::KeyPress, key, modifiers));
    QCoreApplication::postEvent(&widget, new QKeyEvent(QEvent::KeyRelease, key, modifiers));
}

}  // namespace

void EditorRunner::Attach(ui::LoaderWindow& window) {
    window_ = &window;
    QObject::connect(&steps_, &QTimer::timeout, &window, [this] { Step(); });
    steps_.start(kStepMs);
}

// Focus moves only inside an active window: wait for it, unlock, then edit on the next step.
void EditorRunner::Step() {
    ++step_;
    if (!window_->isActiveWindow() && step_ < kActiveWaitSteps) return;
    steps_.stop();
    Unlock();
    QTimer::singleShot(kStepMs, window_, [this] { Edit(); });
}

void EditorRunner::Unlock() {
    QWidget& editor = *window_->Control(ui::kIdcEditor);
    editor.setFocus(Qt::MouseFocusReason);
    for (Qt::Key key : {Qt::Key_P, Qt::Key_L, Qt::Key_Return}) PostKey(editor, key);
}

void EditorRunner::Edit() {
    auto* editor = window_->ControlAs<QPlainTextEdit>(ui::kIdcEditor);
    if (textFile_.empty()) return PostKey(*editor, Qt::Key_R, Qt::ControlModifier);
    QFile file(QString::fromStdString(textFile_));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pelorin: cannot read %s\n", textFile_.c_str());
        return window_->done(0);
    }
    editor->setPlainText(QString::fromUtf8(file.readAll()));
    window_->Control(ui::kIdcSection)->setFocus(Qt::MouseFocusReason);
}

int EditorRunner::ExitStatus() const {
    return window_ && window_->result() == QDialog::Accepted ? 0 : 1;
}

PromptAnswer EditorRunner::Show(const PromptRequest& request) {
    std::printf("message box [%s]: %s\n", request.caption.c_str(), request.text.c_str());
    std::fflush(stdout);
    // A refused save or restore leaves the window open for an operator; the script ends it.
    if (request.caption == kErrorCaption)
        QTimer::singleShot(0, window_, [this] { window_->done(QDialog::Rejected); });
    return request.buttons == PromptButtons::YesNoCancel ? PromptAnswer::Yes : PromptAnswer::Ok;
}

}  // namespace pelorin::app
