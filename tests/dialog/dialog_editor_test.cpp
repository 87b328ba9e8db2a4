// The configuration editor: the unlock sequence, the questions on leaving it, and the hand-over
// of a saved or restored layout to the layout helper, as the operator meets them.
#include <gtest/gtest.h>

#include "config/layout_helper_blob.h"
#include "config/program_start.h"
#include "dialog_fixture.h"

namespace pelorin::testing {
namespace {

using namespace ui;

class DialogEditor : public ::testing::Test {
  protected:
    void SetUp() override { w.Open(); }
    void Type(std::initializer_list<EditorKey> keys, bool control = false) {
        for (EditorKey key : keys) w.Dlg().OnEditorKey(key, control);
    }
    void Unlock() { Type({EditorKey::P, EditorKey::L, EditorKey::Enter}); }
    // The operator clicks another control; the question comes once the focus has moved.
    void LeaveEditor() {
        w.Dlg().OnEditorFocusLost();
        w.Pump();
    }
    void Append(const std::string& text) {
        w.Surface().SetText(kIdcEditor, w.Text(kIdcEditor) + text);
    }
    const PromptRequest& LastPrompt() { return w.prompt.shown.back(); }
    std::filesystem::path SavedTextPath() {
        return w.ProgramPath().parent_path() / "_tmp_flash.txt";
    }
    bool ReadOnly() { return w.Surface().At(kIdcEditor).readOnly; }

    DialogFixture w;
};

TEST_F(DialogEditor, OnlyTheUnlockSequenceUnlocks) {
    // Enter first: consumed, nothing unlocked, no operation either.
    EXPECT_TRUE(w.Dlg().OnEditorKey(EditorKey::Enter, false));
    EXPECT_FALSE(w.Dlg().OnEditorKey(EditorKey::R, true));
    EXPECT_TRUE(w.Dlg().EditorLocked());
    EXPECT_TRUE(ReadOnly());
    EXPECT_FALSE(w.Dlg().OperationRunning());
    EXPECT_TRUE(w.started.empty());
    EXPECT_TRUE(w.prompt.shown.empty());

    // Other keys between the letters, Enter between them too.
    Type({EditorKey::P, EditorKey::Other, EditorKey::Enter, EditorKey::L, EditorKey::Other});
    EXPECT_TRUE(w.Dlg().EditorLocked());
    EXPECT_TRUE(w.Dlg().OnEditorKey(EditorKey::Enter, false));
    EXPECT_FALSE(w.Dlg().EditorLocked());
    EXPECT_FALSE(ReadOnly());
    EXPECT_TRUE(w.prompt.shown.empty());
    // Unlocked, the editor takes Enter as text.
    EXPECT_FALSE(w.Dlg().OnEditorKey(EditorKey::Enter, false));
}

TEST_F(DialogEditor, LeavingWithoutAChangeAsksToWithdraw) {
    Unlock();
    w.prompt.answers = {PromptAnswer::Cancel};
    LeaveEditor();
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_EQ(LastPrompt().text, "Are you sure to withdraw from the editbox?");
    EXPECT_EQ(LastPrompt().caption, "Information");
    EXPECT_TRUE(LastPrompt().buttons == PromptButtons::OkCancel);
    EXPECT_EQ(w.Surface().focus, kIdcEditor);
    EXPECT_FALSE(w.Dlg().EditorLocked());

    w.prompt.answers = {PromptAnswer::Ok};
    LeaveEditor();
    EXPECT_EQ(w.prompt.shown.size(), 2u);
    EXPECT_TRUE(w.Dlg().EditorLocked());
    EXPECT_TRUE(ReadOnly());
    LeaveEditor();  // locked: no question
    EXPECT_EQ(w.prompt.shown.size(), 2u);
}

TEST_F(DialogEditor, LeavingAChangedEditorAsksToSave) {
    const std::string original = w.Text(kIdcEditor);
    Unlock();
    Append("[Extra]\nStartAddr=0\nSize=0x1000");
    const std::string changed = w.Text(kIdcEditor);

    w.prompt.answers = {PromptAnswer::Cancel};
    LeaveEditor();
    EXPECT_EQ(LastPrompt().text, "Are you sure to save your changes?");
    EXPECT_TRUE(LastPrompt().buttons == PromptButtons::YesNoCancel);
    EXPECT_EQ(w.Surface().focus, kIdcEditor);
    EXPECT_EQ(w.Text(kIdcEditor), changed);

    w.prompt.answers = {PromptAnswer::No};
    LeaveEditor();
    EXPECT_EQ(w.Text(kIdcEditor), original);
    EXPECT_TRUE(w.Dlg().EditorLocked());
    EXPECT_TRUE(w.started.empty());
    EXPECT_FALSE(std::filesystem::exists(SavedTextPath()));

    Unlock();  // the sequence starts afresh after a completed one
    EXPECT_FALSE(w.Dlg().EditorLocked());
}

// The click on the operation button that took the focus from the edited layout only leads to
// the question; the operation starts with the next click.
TEST_F(DialogEditor, TheClickThatLeavesTheEditorStartsNothing) {
    w.Choose(kIdcMode, 2);
    Unlock();
    Append("[Extra]");
    w.prompt.answers = {PromptAnswer::No};
    w.Dlg().OnEditorFocusLost();
    w.Click(kIdcOperation);  // the rest of the click, before the question is up
    w.Surface().RunDeferred();
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_EQ(LastPrompt().text, "Are you sure to save your changes?");
    EXPECT_EQ(w.Text(kIdcOperation), "D&ump");
    EXPECT_TRUE(w.Dlg().EditorLocked());
    w.Click(kIdcOperation);
    EXPECT_EQ(LastPrompt().text, "Please choose to dump files!");
}

TEST_F(DialogEditor, YesSavesTheTextAndStartsTheHelper) {
    // A byte that is no UTF-8 comes back as it was.
    w.WriteProgram("; caf\xe9\r\n[Main]\r\nSegment=2\r\n[Boot]\r\nStartAddr=0\r\nSize=0x10000\r\n");
    w.Open();
    Unlock();
    Append("\n[Extra]");
    w.prompt.answers = {PromptAnswer::Yes};
    LeaveEditor();

    ASSERT_EQ(w.prompt.shown.size(), 2u);
    EXPECT_EQ(LastPrompt().text, "The program to be restarted!");
    EXPECT_EQ(ReadText(SavedTextPath()),
              "; caf\xe9\r\n[Main]\r\nSegment=2\r\n[Boot]\r\nStartAddr=0\r\nSize=0x10000\r\n"
              "\r\n[Extra]");
    ASSERT_EQ(w.started.size(), 1u);
    const std::vector<std::string> words = SplitCommandLine(w.started[0]);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(w.started[0], words[0] + " \"" + w.ProgramPath().string() + "\"");
    EXPECT_EQ(std::filesystem::path(words[0]).filename().string(), "_tmp_command.exe");
    const auto helper = ReadBytes(words[0]);
    const auto stored = StoredLayoutHelper();
    ASSERT_EQ(helper.size(), stored.size());
    EXPECT_TRUE(std::equal(helper.begin() + kHelperComplementedBytes, helper.end(),
                           stored.begin() + kHelperComplementedBytes));
    EXPECT_EQ(w.Surface().ended, std::optional<bool>(true));
    EXPECT_TRUE(w.Dlg().Ended());
}

TEST_F(DialogEditor, ControlRRestoresWithoutAskingToWithdraw) {
    Unlock();
    EXPECT_TRUE(w.Dlg().OnEditorKey(EditorKey::R, true));
    LeaveEditor();  // the editor's loss of focus, if any, asks nothing
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_EQ(LastPrompt().text, "To restore the configuration.\nThe program to be restarted!");
    EXPECT_TRUE(w.Dlg().RestorePending());
    ASSERT_EQ(w.started.size(), 1u);
    const std::vector<std::string> words = SplitCommandLine(w.started[0]);
    EXPECT_EQ(w.started[0], words[0] + " \"" + w.ProgramPath().string() + "\" restore");
    EXPECT_EQ(w.Surface().ended, std::optional<bool>(true));
}

TEST_F(DialogEditor, AHelperThatCannotStartKeepsTheWindowAndTheText) {
    w.startSucceeds = false;
    Unlock();
    Append("\n[Extra]");
    const std::string changed = w.Text(kIdcEditor);
    w.prompt.answers = {PromptAnswer::Yes};
    LeaveEditor();
    EXPECT_EQ(LastPrompt().caption, "Error");
    EXPECT_NE(LastPrompt().text.find("Exec format error"), std::string::npos);
    EXPECT_FALSE(w.Surface().ended);
    EXPECT_FALSE(w.Dlg().EditorLocked());
    EXPECT_EQ(w.Text(kIdcEditor), changed);
    EXPECT_FALSE(std::filesystem::exists(SavedTextPath()));

    w.Dlg().OnEditorKey(EditorKey::R, true);
    EXPECT_EQ(LastPrompt().caption, "Error");
    EXPECT_FALSE(w.Dlg().RestorePending());
    EXPECT_FALSE(w.Surface().ended);
}

}  // namespace
}  // namespace pelorin::testing
