// The operation button's refusals: each with its message, the window left idle, the port
// never opened, and the settings saved all the same.
#include <gtest/gtest.h>

#include "config/image_check.h"
#include "dialog_fixture.h"
#include "session/board.h"

namespace pelorin::testing {
namespace {

using namespace ui;

class DialogDispatch : public ::testing::Test {
  protected:
    // One message box, with this caption and a text that starts with `start`.
    void ExpectOneBox(const std::string& start, const std::string& caption = "Error") {
        ASSERT_TRUE(w.WaitFor([&] { return !w.prompt.shown.empty(); }));
        w.Pump();
        ASSERT_EQ(w.prompt.shown.size(), 1u);
        const PromptRequest& box = w.prompt.shown.front();
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text.rfind(start, 0), 0u) << box.text;
        EXPECT_TRUE(box.icon == PromptIcon::Warning);
    }
    void ExpectIdle(const std::string& caption) {
        EXPECT_FALSE(w.Dlg().OperationRunning());
        EXPECT_EQ(w.Text(kIdcOperation), caption);
        EXPECT_TRUE(w.Enabled(kIdcMode));
        EXPECT_TRUE(w.Enabled(kIdcSection));
        EXPECT_FALSE(w.Dlg().AttachedBoard().Port().IsOpen());
    }
    void ChooseFile(const std::filesystem::path& path) {
        w.dialogs.next = path.string();
        w.Click(kIdcBrowse);
    }

    DialogFixture w;
};

TEST_F(DialogDispatch, DownloadWithoutFileStillSavesTheSettings) {
    w.Open({{"/nonexistent/board", "Nowhere"}});
    w.Surface().Select(kIdcChipType, 4);  // not yet saved
    w.Click(kIdcOperation);
    ExpectOneBox(kNoDownloadFileText);
    EXPECT_EQ(w.prompt.shown.front().text, std::string(kNoDownloadFileText));
    ExpectIdle("&Download");
    EXPECT_EQ(w.Profile().GetInt("ChipType"), 4);
    EXPECT_EQ(w.Profile().GetInt("COM"), w.Surface().Selection(kIdcSerialPort));
}

TEST_F(DialogDispatch, FileLengthAgainstTheSection) {
    w.Open({{"/nonexistent/board", "Nowhere"}});
    w.ChooseText(kIdcSection, "Common Data");  // 0x800 bytes
    ChooseFile(w.WriteFile("long.bin", 0x801));
    w.Click(kIdcOperation);
    ExpectOneBox(kFileTooLongText);
    ExpectIdle("&Download");

    // A file of the section's size passes to the hand-over: the port refuses it, not the
    // length.
    w.prompt.shown.clear();
    ChooseFile(w.WriteFile("exact.bin", 0x800));
    w.Click(kIdcOperation);
    ExpectOneBox("Can't open port!");
    ExpectIdle("&Download");
}

TEST_F(DialogDispatch, DumpWithoutFileOrWithAFileThatCannotBeCreated) {
    w.Open({{"/nonexistent/board", "Nowhere"}});
    w.Choose(kIdcMode, 2);
    w.Click(kIdcOperation);
    ExpectOneBox("Please choose to dump files!");
    EXPECT_EQ(w.prompt.shown.front().text, "Please choose to dump files!");
    ExpectIdle("D&ump");

    w.prompt.shown.clear();
    ChooseFile(w.Dir() / "no-such-folder" / "dump.bin");
    w.Click(kIdcOperation);
    ExpectOneBox("Can't create the dump file " + *w.dialogs.next);
    ExpectIdle("D&ump");
}

TEST_F(DialogDispatch, PortThatCannotOpen) {
    w.Open({{"/nonexistent/board", "Nowhere"}});
    const std::string port = w.Text(kIdcSerialPort);
    ASSERT_EQ(port.rfind("COM", 0), 0u);
    w.Choose(kIdcMode, 1);
    w.Click(kIdcOperation);
    ExpectOneBox("Can't open port!");
    EXPECT_EQ(w.prompt.shown.front().text, "Can't open port!");
    // The reason stays beside the box, on the status line.
    const std::string name = port.substr(0, port.find(' '));
    EXPECT_EQ(w.Text(kIdcStatusLine).rfind(name + " (/nonexistent/board): ", 0), 0u)
        << w.Text(kIdcStatusLine);
    ExpectIdle("&Erase");
    EXPECT_FALSE(w.Enabled(kIdcBrowse));
}

TEST_F(DialogDispatch, EmptySectionListRefusesEveryMode) {
    w.WriteProgram("[Main]\r\nSegNumber=0\r\n");
    w.Open({{"/nonexistent/board", "Nowhere"}});
    EXPECT_EQ(w.Surface().ItemCount(kIdcSection), 0);
    for (int mode : {0, 1, 2}) {
        w.prompt.shown.clear();
        w.Choose(kIdcMode, mode);
        w.Click(kIdcOperation);
        ExpectOneBox("The layout defines no flash section");
        ExpectIdle(w.Text(kIdcOperation));
    }
}

// Closing while an operation runs asks first; No keeps it running, Yes cancels it. A cancelled
// Dump says what became of what arrived; a failed start shows why on the status line.
TEST_F(DialogDispatch, ClosingWhileRunningAndACancelledDump) {
    w.silentBoard = true;
    w.Open({{"/nonexistent/board", "Nowhere"}});
    w.Choose(kIdcMode, 2);
    ChooseFile(w.Dir() / "dump.bin");
    w.Click(kIdcOperation);
    ASSERT_TRUE(w.Dlg().OperationRunning());
    EXPECT_EQ(w.Text(kIdcStatusLine), "Enter Dump Progress...");
    EXPECT_EQ(w.Text(kIdcOperation), "Cancel D&ump");
    EXPECT_FALSE(w.Enabled(kIdcSection));

    w.prompt.answers = {PromptAnswer::No};
    EXPECT_FALSE(w.Dlg().OnClose());
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_EQ(w.prompt.shown[0].text, "An operation is running. Cancel it and close?");
    EXPECT_TRUE(w.prompt.shown[0].buttons == PromptButtons::YesNo);
    EXPECT_TRUE(w.Dlg().OperationRunning());

    w.Click(kIdcOperation);
    EXPECT_FALSE(w.Dlg().OperationRunning());
    EXPECT_EQ(w.Text(kIdcStatusLine), "Cancel. No byte of the dump arrived; no file was kept.");
    EXPECT_TRUE(w.Dlg().OnClose());  // idle: no question
    EXPECT_EQ(w.prompt.shown.size(), 1u);

    w.Click(kIdcOperation);
    ASSERT_TRUE(w.Dlg().OperationRunning());
    w.prompt.answers = {PromptAnswer::Yes};
    EXPECT_TRUE(w.Dlg().OnClose());
    EXPECT_FALSE(w.Dlg().OperationRunning());
    EXPECT_EQ(w.Text(kIdcOperation), "D&ump");
}

}  // namespace
}  // namespace pelorin::testing
