// The configuration editor: read-only until the unlock sequence is typed into it; once
// unlocked, leaving it asks whether to save or withdraw, and Control+R restores the built-in
// layout. Saving and restoring hand the program file to the layout helper and end the tool.
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <filesystem>
#include <system_error>

#include "config/layout_handover.h"
#include "config/program_start.h"
#include "config/work_dir.h"
#include "session/board.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/gui_thread_prompt.h"
#include "ui/loader_dlg.h"

namespace pelorin::ui {
namespace {

// The unlock sequence: these two letters in this order, any keys between, then Enter.
constexpr int kUnlockFirst = Qt::Key_P;
constexpr int kUnlockSecond = Qt::Key_L;

constexpr const char* kInformationCaption = "Information";
constexpr const char* kErrorCaption = "Error";
constexpr const char* kRestoreText = "To restore the configuration.\nThe program to be restarted!";
constexpr const char* kRestartText = "The program to be restarted!";
constexpr const char* kSaveQuestion = "Are you sure to save your changes?";
constexpr const char* kWithdrawQuestion = "Are you sure to withdraw from the editbox?";
constexpr const char* kOperationRunningText =
    "An operation is running: the program ends to put a layout in force, and that would break "
    "off the operation. Save or restore again when it has ended.";
constexpr const char* kKeptText =
    "\nThe configuration is left as it was; your text stays in the editor.";

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

QPlainTextEdit* CLoaderDlg::Editor() const {
    return ControlAs<QPlainTextEdit>(kIdcEditor);
}

void CLoaderDlg::FillEditor() {
    // The layout's bytes come back unchanged when saved: UTF-8 if they are, else one byte per
    // character. The editor holds line feeds; the saved text gets CR LF again.
    QString text = QString::fromUtf8(layoutText_);
    layoutIsUtf8_ = text.toUtf8() == QByteArray::fromStdString(layoutText_);
    if (!layoutIsUtf8_) text = QString::fromLatin1(layoutText_);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Editor()->setPlainText(text);
    Editor()->installEventFilter(this);
}

bool CLoaderDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Editor()) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress)
        return PreTranslateEditorKey(*static_cast<QKeyEvent*>(event));
    // A context menu takes no focus from the editor. The question waits until the editor has
    // seen its own loss of focus, so an answer that gives the focus back leaves it whole.
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        QMetaObject::invokeMethod(this, &CLoaderDlg::OnEditorKillFocus, Qt::QueuedConnection);
    return false;
}

bool CLoaderDlg::PreTranslateEditorKey(const QKeyEvent& key) {
    const int code = key.key();
    if (editorLocked_) {
        uint8_t& step = board_->Shared().unlockStep;
        if (code == kUnlockFirst && step == 0) step = 1;
        if (code == kUnlockSecond && step == 1) step = 2;
        if (IsEnter(code) && step == 2) {
            step = 0;
            UnlockEditor();
            return true;
        }
        // The editor takes Enter as a multi-line edit does: it never presses the operation
        // button, writable or not.
        return IsEnter(code);
    }
    if (code == Qt::Key_R && key.modifiers().testFlag(Qt::ControlModifier)) {
        RestoreLayout();
        return true;
    }
    return false;
}

void CLoaderDlg::UnlockEditor() {
    editorLocked_ = false;
    Editor()->setReadOnly(false);
    editorSnapshot_ = Editor()->toPlainText();
}

void CLoaderDlg::LockEditor() {
    Editor()->setPlainText(editorSnapshot_);
    Editor()->setReadOnly(true);
    editorLocked_ = true;
}

void CLoaderDlg::OnEditorKillFocus() {
    // A restore ends the tool and drops any edits; a question in the middle of it could start
    // a second helper.
    // The question is queued behind the focus change; by then the window may have ended.
    if (editorLocked_ || restorePending_ || editorQuestionShown_ || !isVisible()) return;
    editorQuestionShown_ = true;
    if (Editor()->toPlainText() != editorSnapshot_)
        AskToSave();
    else
        AskToWithdraw();
    editorQuestionShown_ = false;
}

void CLoaderDlg::AskToSave() {
    switch (Prompt({kSaveQuestion, kInformationCaption, PromptIcon::Information,
                    PromptButtons::YesNoCancel})) {
        case PromptAnswer::Yes:
            return SaveLayout();
        case PromptAnswer::No:
            return LockEditor();
        default:
            return Editor()->setFocus(Qt::OtherFocusReason);
    }
}

void CLoaderDlg::AskToWithdraw() {
    const PromptAnswer answer = Prompt(
        {kWithdrawQuestion, kInformationCaption, PromptIcon::Information, PromptButtons::OkCancel});
    if (answer == PromptAnswer::Ok) return LockEditor();
    Editor()->setFocus(Qt::OtherFocusReason);
}

// Ending the program in the middle of an operation would cut a flash write short.
bool CLoaderDlg::RefuseWhileRunning() {
    if (!OperationRunning()) return false;
    ReportHandOverFailure(kOperationRunningText);
    return true;
}

void CLoaderDlg::SaveLayout() {
    if (RefuseWhileRunning()) return;
    const QString text = Editor()->toPlainText();
    const QByteArray bytes = layoutIsUtf8_ ? text.toUtf8() : text.toLatin1();
    std::string error;
    if (!PrepareLayoutSave(HandOver(), WithCrLf(bytes.toStdString()), &error))
        return ReportHandOverFailure(error);
    Prompt({kRestartText, kInformationCaption, PromptIcon::Information, PromptButtons::Ok});
    if (!StartHelper(false, &error)) {
        std::error_code ignored;
        std::filesystem::remove(SavedLayoutTextPath(setup_.programPath.parent_path()), ignored);
        return ReportHandOverFailure(error);
    }
    accept();
}

void CLoaderDlg::RestoreLayout() {
    if (RefuseWhileRunning()) return;
    std::string error;
    if (!PrepareLayoutRestore(HandOver(), &error)) return ReportHandOverFailure(error);
    restorePending_ = true;
    Prompt({kRestoreText, kInformationCaption, PromptIcon::Information, PromptButtons::Ok});
    if (!StartHelper(true, &error)) {
        restorePending_ = false;
        return ReportHandOverFailure(error);
    }
    accept();
}

HandOverPaths CLoaderDlg::HandOver() const {
    return {setup_.programPath, workDir_ ? workDir_->Paths().helperPath : std::filesystem::path()};
}

bool CLoaderDlg::StartHelper(bool restore, std::string* error) {
    const HandOverPaths paths = HandOver();
    const std::string line = HelperCommandLine(paths, restore);
    return setup_.startProgram ? setup_.startProgram(line, error) : StartProgram(line, error);
}

void CLoaderDlg::ReportHandOverFailure(const std::string& error) {
    Prompt({error + kKeptText, kErrorCaption, PromptIcon::Warning, PromptButtons::Ok});
    Editor()->setFocus(Qt::OtherFocusReason);
}

PromptAnswer CLoaderDlg::Prompt(const PromptRequest& request) {
    return prompt_->Show(request);
}

}  // namespace pelorin::ui
