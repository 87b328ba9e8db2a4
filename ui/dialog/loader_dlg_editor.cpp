// The configuration editor: read-only until the unlock sequence is typed into it; once
// unlocked, leaving it asks whether to save or withdraw, and Control+R restores the built-in
// layout. Saving and restoring hand the program file to the layout helper and end the tool.
#include <filesystem>
#include <system_error>

#include "config/ini_reader.h"
#include "config/layout_handover.h"
#include "config/program_start.h"
#include "config/work_dir.h"
#include "session/board.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/layout_text.h"
#include "ui/dialog/loader_dlg.h"

namespace pelorin::ui {
namespace {

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

}  // namespace

void CLoaderDlg::FillEditor() {
    // The layout's bytes come back unchanged when saved: UTF-8 if they are, else one byte per
    // character. The editor holds line feeds; the saved text gets CR LF again.
    layoutIsUtf8_ = IsValidUtf8(layoutText_);
    std::string text = layoutIsUtf8_ ? layoutText_ : Latin1ToUtf8(layoutText_);
    // A line the reader refuses would only keep an editor busy laying it out.
    surface_.SetText(kIdcEditor, WithoutOverlongLines(WithoutCr(text), kIniLineMaxBytes));
}

// The unlock sequence: P, then L, any keys between, then Enter.
bool CLoaderDlg::OnEditorKey(EditorKey key, bool control) {
    if (editorLocked_) {
        if (key == EditorKey::P && unlockStep_ == 0) unlockStep_ = 1;
        if (key == EditorKey::L && unlockStep_ == 1) unlockStep_ = 2;
        if (key == EditorKey::Enter && unlockStep_ == 2) {
            unlockStep_ = 0;
            UnlockEditor();
            return true;
        }
        // The editor takes Enter as a multi-line edit does: it never presses the operation
        // button, writable or not.
        return key == EditorKey::Enter;
    }
    if (key == EditorKey::R && control) {
        RestoreLayout();
        return true;
    }
    return false;
}

void CLoaderDlg::UnlockEditor() {
    editorLocked_ = false;
    surface_.SetReadOnly(kIdcEditor, false);
    editorSnapshot_ = surface_.Text(kIdcEditor);
}

void CLoaderDlg::LockEditor() {
    surface_.SetText(kIdcEditor, editorSnapshot_);
    surface_.SetReadOnly(kIdcEditor, true);
    editorLocked_ = true;
}

// The question waits until the focus has moved, so an answer that gives the focus back leaves
// it whole; until it is answered, the click that took the focus does nothing else.
void CLoaderDlg::OnEditorFocusLost() {
    if (editorLocked_ || restorePending_ || editorQuestionPending_ || ended_) return;
    editorQuestionPending_ = true;
    surface_.Defer([this] { OnEditorKillFocus(); });
}

void CLoaderDlg::OnEditorKillFocus() {
    // A restore ends the tool and drops any edits; a question in the middle of it could start
    // a second helper. By the time the deferred call runs the window may have ended.
    if (editorLocked_ || restorePending_ || ended_) {
        editorQuestionPending_ = false;
        return;
    }
    if (surface_.Text(kIdcEditor) != editorSnapshot_)
        AskToSave();
    else
        AskToWithdraw();
    // Input queued behind the question (the rest of that click) still finds it pending.
    surface_.Defer([this] { editorQuestionPending_ = false; });
}

void CLoaderDlg::AskToSave() {
    switch (Prompt({kSaveQuestion, kInformationCaption, PromptIcon::Information,
                    PromptButtons::YesNoCancel})) {
        case PromptAnswer::Yes:
            return SaveLayout();
        case PromptAnswer::No:
            return LockEditor();
        default:
            return FocusEditor();
    }
}

void CLoaderDlg::AskToWithdraw() {
    const PromptAnswer answer = Prompt(
        {kWithdrawQuestion, kInformationCaption, PromptIcon::Information, PromptButtons::OkCancel});
    if (answer == PromptAnswer::Ok) return LockEditor();
    FocusEditor();
}

void CLoaderDlg::FocusEditor() {
    surface_.SetFocus(kIdcEditor);
}

// Ending the program in the middle of an operation would cut a flash write short.
bool CLoaderDlg::RefuseWhileRunning() {
    if (!OperationRunning()) return false;
    ReportHandOverFailure(kOperationRunningText);
    return true;
}

void CLoaderDlg::SaveLayout() {
    if (RefuseWhileRunning()) return;
    const std::string text = surface_.Text(kIdcEditor);
    const std::string bytes = layoutIsUtf8_ ? text : Utf8ToLatin1(text);
    std::string error;
    if (!PrepareLayoutSave(LayoutHandOverPaths(), WithCrLf(bytes), &error))
        return ReportHandOverFailure(error);
    Prompt({kRestartText, kInformationCaption, PromptIcon::Information, PromptButtons::Ok});
    if (!StartHelper(false, &error)) {
        std::error_code ignored;
        std::filesystem::remove(SavedLayoutTextPath(setup_.programPath.parent_path()), ignored);
        return ReportHandOverFailure(error);
    }
    End(true);
}

void CLoaderDlg::RestoreLayout() {
    if (RefuseWhileRunning()) return;
    std::string error;
    if (!PrepareLayoutRestore(LayoutHandOverPaths(), &error)) return ReportHandOverFailure(error);
    restorePending_ = true;
    Prompt({kRestoreText, kInformationCaption, PromptIcon::Information, PromptButtons::Ok});
    if (!StartHelper(true, &error)) {
        restorePending_ = false;
        return ReportHandOverFailure(error);
    }
    End(true);
}

HandOverPaths CLoaderDlg::LayoutHandOverPaths() const {
    return {setup_.programPath, workDir_ ? workDir_->Paths().helperPath : std::filesystem::path()};
}

bool CLoaderDlg::StartHelper(bool restore, std::string* error) {
    const std::string line = HelperCommandLine(LayoutHandOverPaths(), restore);
    return setup_.startProgram ? setup_.startProgram(line, error) : StartProgram(line, error);
}

void CLoaderDlg::ReportHandOverFailure(const std::string& error) {
    Prompt({error + kKeptText, kErrorCaption, PromptIcon::Warning, PromptButtons::Ok});
    FocusEditor();
}

}  // namespace pelorin::ui
