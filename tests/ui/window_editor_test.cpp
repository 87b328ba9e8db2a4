// The configuration editor: the unlock sequence, the questions on leaving it, and the hand-over
// of a saved or restored layout to the layout helper, as the operator meets them.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTest>
#include <fstream>
#include <sstream>

#include "config/program_start.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

}  // namespace

class WindowEditorTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowFixture> fixture_;

    QPlainTextEdit* Editor() { return fixture_->Get<QPlainTextEdit>(kIdcEditor); }
    void Type(std::initializer_list<Qt::Key> keys, Qt::KeyboardModifiers modifiers = {}) {
        for (Qt::Key key : keys) QTest::keyClick(Editor(), key, modifiers);
    }
    void Unlock() { Type({Qt::Key_P, Qt::Key_L, Qt::Key_Return}); }
    // The operator clicks another control; the question comes once the editor let go.
    void LeaveEditor() {
        Editor()->setFocus();
        QCoreApplication::processEvents();
        fixture_->Get<QComboBox>(kIdcSection)->setFocus();
        QCoreApplication::processEvents();
    }
    const PromptRequest& LastPrompt() { return fixture_->prompt.shown.back(); }
    std::filesystem::path SavedTextPath() {
        return fixture_->ProgramPath().parent_path() / "_tmp_flash.txt";
    }

  private slots:
    void init() {
        fixture_ = std::make_unique<WindowFixture>();
        QVERIFY(QTest::qWaitForWindowActive(&fixture_->Open()));
    }
    void cleanup() { fixture_.reset(); }

    void onlyTheUnlockSequenceUnlocks() {
        WindowFixture& w = *fixture_;
        Type({Qt::Key_Return});  // Enter first: nothing, and no operation either
        Type({Qt::Key_R}, Qt::ControlModifier);
        Type({Qt::Key_Escape});
        QVERIFY(w.Window().EditorLocked());
        QVERIFY(Editor()->isReadOnly());
        QVERIFY(!w.Window().OperationRunning());
        QVERIFY(w.started.empty());
        QVERIFY(w.prompt.shown.empty());
        QVERIFY(w.Window().isVisible());

        // The letters in either case, other keys between them.
        Type({Qt::Key_P, Qt::Key_X, Qt::Key_Return});
        Type({Qt::Key_L}, Qt::ShiftModifier);
        Type({Qt::Key_Y, Qt::Key_Return});
        QVERIFY(!w.Window().EditorLocked());
        QVERIFY(!Editor()->isReadOnly());
        QVERIFY(w.prompt.shown.empty());
        Type({Qt::Key_Escape});
        QVERIFY(w.Window().isVisible());
    }

    void leavingWithoutAChangeAsksToWithdraw() {
        WindowFixture& w = *fixture_;
        Unlock();
        w.prompt.answers = {PromptAnswer::Cancel};
        LeaveEditor();
        QCOMPARE(w.prompt.shown.size(), size_t(1));
        QCOMPARE(LastPrompt().text, std::string("Are you sure to withdraw from the editbox?"));
        QCOMPARE(LastPrompt().caption, std::string("Information"));
        QVERIFY(LastPrompt().buttons == PromptButtons::OkCancel);
        QVERIFY(Editor()->hasFocus());
        QVERIFY(!w.Window().EditorLocked());

        w.prompt.answers = {PromptAnswer::Ok};
        LeaveEditor();
        QCOMPARE(w.prompt.shown.size(), size_t(2));
        QVERIFY(w.Window().EditorLocked());
        QVERIFY(Editor()->isReadOnly());
        LeaveEditor();  // locked: no question
        QCOMPARE(w.prompt.shown.size(), size_t(2));
    }

    void leavingAChangedEditorAsksToSave() {
        WindowFixture& w = *fixture_;
        const QString original = Editor()->toPlainText();
        Unlock();
        Editor()->appendPlainText(QStringLiteral("[Extra]\nStartAddr=0\nSize=0x1000"));
        const QString changed = Editor()->toPlainText();

        w.prompt.answers = {PromptAnswer::Cancel};
        LeaveEditor();
        QCOMPARE(LastPrompt().text, std::string("Are you sure to save your changes?"));
        QVERIFY(LastPrompt().buttons == PromptButtons::YesNoCancel);
        QVERIFY(Editor()->hasFocus());
        QCOMPARE(Editor()->toPlainText(), changed);

        w.prompt.answers = {PromptAnswer::No};
        LeaveEditor();
        QCOMPARE(Editor()->toPlainText(), original);
        QVERIFY(w.Window().EditorLocked());
        QVERIFY(Editor()->isReadOnly());
        QVERIFY(w.started.empty());
        QVERIFY(!std::filesystem::exists(SavedTextPath()));

        Unlock();  // the sequence starts afresh after a completed one
        QVERIFY(!w.Window().EditorLocked());
    }

    void yesSavesTheTextAndStartsTheHelper() {
        WindowFixture& w = *fixture_;
        // A byte that is no UTF-8 comes back as it was.
        w.WriteProgram(
            "; caf\xe9\r\n[Main]\r\nSegment=2\r\n[Boot]\r\nStartAddr=0\r\nSize=0x10000\r\n");
        QVERIFY(QTest::qWaitForWindowActive(&w.Open()));
        Unlock();
        Editor()->appendPlainText(QStringLiteral("[Extra]"));
        w.prompt.answers = {PromptAnswer::Yes};
        LeaveEditor();

        QCOMPARE(w.prompt.shown.size(), size_t(2));
        QCOMPARE(LastPrompt().text, std::string("The program to be restarted!"));
        QCOMPARE(ReadFile(SavedTextPath()),
                 std::string("; caf\xe9\r\n[Main]\r\nSegment=2\r\n[Boot]\r\nStartAddr=0\r\n"
                             "Size=0x10000\r\n\r\n[Extra]"));
        QCOMPARE(w.started.size(), size_t(1));
        const std::vector<std::string> words = SplitCommandLine(w.started[0]);
        QCOMPARE(words.size(), size_t(2));
        QCOMPARE(w.started[0], words[0] + " \"" + w.ProgramPath().string() + "\"");
        QCOMPARE(std::filesystem::path(words[0]).filename().string(),
                 std::string("_tmp_command.exe"));
        QCOMPARE(ReadFile(words[0]), ReadFile(PELORIN_LAYOUT_HELPER_PATH));
        QCOMPARE(w.Window().result(), int(QDialog::Accepted));
        QVERIFY(!w.Window().isVisible());
    }

    void controlRRestoresWithoutAskingToWithdraw() {
        WindowFixture& w = *fixture_;
        Unlock();
        Type({Qt::Key_R}, Qt::ControlModifier);
        QCoreApplication::processEvents();  // the editor's loss of focus, if any, asks nothing
        QCOMPARE(w.prompt.shown.size(), size_t(1));
        QCOMPARE(LastPrompt().text,
                 std::string("To restore the configuration.\nThe program to be restarted!"));
        QVERIFY(w.Window().RestorePending());
        QCOMPARE(w.started.size(), size_t(1));
        const std::vector<std::string> words = SplitCommandLine(w.started[0]);
        QCOMPARE(w.started[0], words[0] + " \"" + w.ProgramPath().string() + "\" restore");
        QCOMPARE(w.Window().result(), int(QDialog::Accepted));
        LeaveEditor();
        QCOMPARE(w.prompt.shown.size(), size_t(1));
    }

    void aHelperThatCannotStartKeepsTheWindowAndTheText() {
        WindowFixture& w = *fixture_;
        w.startSucceeds = false;
        Unlock();
        Editor()->appendPlainText(QStringLiteral("[Extra]"));
        const QString changed = Editor()->toPlainText();
        w.prompt.answers = {PromptAnswer::Yes};
        LeaveEditor();
        QCOMPARE(LastPrompt().caption, std::string("Error"));
        QVERIFY(LastPrompt().text.find("Exec format error") != std::string::npos);
        QVERIFY(w.Window().isVisible());
        QVERIFY(!w.Window().EditorLocked());
        QCOMPARE(Editor()->toPlainText(), changed);
        QVERIFY(!std::filesystem::exists(SavedTextPath()));

        Type({Qt::Key_R}, Qt::ControlModifier);
        QCOMPARE(LastPrompt().caption, std::string("Error"));
        QVERIFY(!w.Window().RestorePending());
        QVERIFY(w.Window().isVisible());
    }

    // The README's picture of the unlocked editor, written where PELORIN_SCREENSHOT_DIR points.
    void screenshot() {
        const QString dir = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("PELORIN_SCREENSHOT_DIR is not set");
        fixture_->Click(kIdcTogglePanel);
        Editor()->setFocus();
        Unlock();
        Editor()->moveCursor(QTextCursor::Start);
        Editor()->insertPlainText(QStringLiteral("; Bench 3: a larger logo\n"));
        QVERIFY(fixture_->Window().grab().save(dir + QStringLiteral("/editor-unlocked.png")));
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::WindowEditorTest)
#include "window_editor_test.moc"
