// The window's conveniences as the logic decides them: the port list following the devices,
// a dropped file, the taskbar entry and the word at the end, the hint while no board answers,
// and the port and section remembered.
#include <gtest/gtest.h>

#include "dialog_fixture.h"
#include "session/messages.h"

namespace pelorin::testing {
namespace {

using namespace ui;

class DialogConveniences : public ::testing::Test {
  protected:
    DialogConveniences() {
        w.silentBoard = true;
        w.listPorts = [this] {
            std::vector<SerialPortInfo> list;
            for (unsigned n : ports)
                list.push_back(MakePortInfo(n, "/dev/x" + std::to_string(n), ""));
            return list;
        };
    }
    std::vector<std::string> PortItems() { return w.Surface().At(kIdcSerialPort).items; }
    std::string SelectedPort() {
        return w.Surface().ItemText(kIdcSerialPort, w.Surface().Selection(kIdcSerialPort));
    }
    // The devices change, and the refresh's timer runs out.
    void DevicesChange(std::vector<unsigned> now) {
        ports = std::move(now);
        w.Dlg().OnDevicesChanged();
        ASSERT_TRUE(w.Surface().TimerRunning(kPortRefreshTimer));
        w.Dlg().OnTimer(kPortRefreshTimer);
        EXPECT_FALSE(w.Surface().TimerRunning(kPortRefreshTimer));
    }
    void StartDump() {
        w.Choose(kIdcMode, 2);
        w.dialogs.next = (w.Dir() / "dump.bin").string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        ASSERT_TRUE(w.Dlg().OperationRunning());
    }

    std::vector<unsigned> ports{3, 40};
    DialogFixture w;
};

TEST_F(DialogConveniences, PortListFollowsTheDevicesAndKeepsTheSelection) {
    w.Open();
    EXPECT_EQ(PortItems(), (std::vector<std::string>{"COM3", "COM40"}));
    w.Choose(kIdcSerialPort, 1);
    DevicesChange({3, 33, 40});
    EXPECT_EQ(PortItems(), (std::vector<std::string>{"COM3", "COM33", "COM40"}));
    EXPECT_EQ(SelectedPort(), "COM40");
    // The chosen port goes: the first takes its place; it comes back chosen, as remembered.
    DevicesChange({3, 33});
    EXPECT_EQ(SelectedPort(), "COM3");
    DevicesChange({3, 33, 40});
    EXPECT_EQ(SelectedPort(), "COM40");
    DevicesChange({});
    EXPECT_EQ(w.Surface().Selection(kIdcSerialPort), -1);

    // Never while an operation runs: the list follows after it ends.
    DevicesChange({3, 40});
    StartDump();
    DevicesChange({3, 33, 40});
    EXPECT_EQ(PortItems().size(), 2u);
    w.Click(kIdcOperation);
    w.Pump();
    EXPECT_FALSE(w.Dlg().OperationRunning());
    EXPECT_EQ(PortItems().size(), 3u);
    EXPECT_EQ(SelectedPort(), "COM40");
}

TEST_F(DialogConveniences, DroppedFileIsChosenAsByBrowseAndRefusedOtherwise) {
    w.Open();
    const auto file = w.WriteFile("image.bin", 4096);
    const auto other = w.WriteFile("other.bin", 4096);
    w.Dlg().OnFilesDropped({file.string()});
    EXPECT_EQ(w.Dlg().FilePath(), file.string());
    EXPECT_EQ(w.Text(kIdcFile), file.string());

    w.Dlg().OnFilesDropped({file.string(), other.string()});
    EXPECT_EQ(w.Text(kIdcStatusLine), "Drop refused: drop one file.");
    w.Dlg().OnFilesDropped({w.Dir().string()});
    EXPECT_EQ(w.Text(kIdcStatusLine), "Drop refused: a folder is no file to download.");
    EXPECT_EQ(w.Dlg().FilePath(), file.string());
    // A file the browse button's check refuses is refused the same way.
    w.Dlg().OnFilesDropped({(w.Dir() / "missing.bin").string()});
    ASSERT_TRUE(w.WaitFor([&] { return !w.prompt.shown.empty(); }));
    EXPECT_EQ(w.prompt.shown.back().caption, "pelorin-under-test");

    StartDump();
    w.Dlg().OnFilesDropped({other.string()});
    EXPECT_EQ(w.Text(kIdcStatusLine), "Drop refused: an operation is running.");
    EXPECT_EQ(w.Dlg().FilePath(), (w.Dir() / "dump.bin").string());
    w.Click(kIdcOperation);
    w.Dlg().OnFilesDropped({other.string()});
    EXPECT_EQ(w.Text(kIdcStatusLine), "Drop refused: files are dropped in Download mode.");
}

TEST_F(DialogConveniences, HintAfterFiveSilentSecondsAndTheWaitGoesOn) {
    w.Open();
    StartDump();
    w.Pump();  // a silent board reports nothing
    EXPECT_EQ(w.Surface().timers[kNoAnswerTimer], 5000);
    EXPECT_EQ(w.Text(kIdcStatusLine), "Enter Dump Progress...");
    w.Dlg().OnTimer(kNoAnswerTimer);
    EXPECT_EQ(w.Text(kIdcStatusLine),
              "Enter Dump Progress... No answer yet: check power and reset, the port, the crystal "
              "chosen (the boot ROM answers only at its crystal's speed).");
    EXPECT_FALSE(w.Surface().TimerRunning(kNoAnswerTimer));
    EXPECT_TRUE(w.Dlg().OperationRunning());
    w.Click(kIdcOperation);
    EXPECT_FALSE(w.Surface().TimerRunning(kNoAnswerTimer));

    // A board that answers within the five seconds gets no hint.
    w.Click(kIdcOperation);
    ASSERT_TRUE(w.Surface().TimerRunning(kNoAnswerTimer));
    w.Dlg().Dispatch(WM_SESSION_UPDATE, kUpdateSub, 1);
    EXPECT_FALSE(w.Surface().TimerRunning(kNoAnswerTimer));
    w.Click(kIdcOperation);
}

TEST_F(DialogConveniences, TaskbarAndTheWordForAnOperatorElsewhere) {
    w.Open();
    w.Choose(kIdcSerialPort, 1);
    StartDump();
    w.Dlg().Dispatch(WM_SESSION_UPDATE, kUpdateMain, 40);
    w.Pump();
    using P = std::pair<TaskbarState, int>;
    EXPECT_EQ(w.Surface().taskbar,
              (std::vector<P>{{TaskbarState::Normal, 0}, {TaskbarState::Normal, 40}}));
    w.Surface().taskbar.clear();
    w.Click(kIdcOperation);  // a cancel clears the entry and needs no word
    EXPECT_EQ(w.Surface().taskbar, (std::vector<P>{{TaskbarState::None, 0}}));
    EXPECT_TRUE(w.Surface().notifications.empty());

    // A failure while the operator looks elsewhere: red for a while, and a word with the port.
    w.Click(kIdcOperation);
    w.Surface().taskbar.clear();
    w.Surface().active = false;
    w.Dlg().Dispatch(WM_SESSION_PORT_LOST, 0, 0);
    w.Pump();
    ASSERT_FALSE(w.Dlg().OperationRunning());
    ASSERT_EQ(w.Surface().taskbar.size(), 1u);
    EXPECT_EQ(w.Surface().taskbar[0].first, TaskbarState::Error);
    ASSERT_TRUE(w.Surface().TimerRunning(kTaskbarTimer));
    w.Dlg().OnTimer(kTaskbarTimer);
    EXPECT_EQ(w.Surface().taskbar.back(), P(TaskbarState::None, 0));
    EXPECT_EQ(w.Surface().notifications,
              (std::vector<std::string>{"The serial device has gone away: COM40 | COM40"}));
}

TEST_F(DialogConveniences, LastPortAndSectionRemembered) {
    w.Profile().WriteInt("LastPort", 40);
    w.Profile().WriteInt("LastSection", 3);
    w.Profile().WriteInt("COM", 0);
    w.Open();
    EXPECT_EQ(SelectedPort(), "COM40");
    EXPECT_EQ(w.Surface().Selection(kIdcSection), 3);
    w.Choose(kIdcSerialPort, 0);
    w.Choose(kIdcSection, 5);
    EXPECT_EQ(w.Profile().GetInt("LastPort"), 3);
    EXPECT_EQ(w.Profile().GetInt("LastSection"), 5);
    EXPECT_EQ(w.Profile().GetInt("COM"), 0);  // the existing key is the operation button's

    // Gone ports and sections select as before.
    ports = {3};
    w.Profile().WriteInt("LastPort", 40);
    w.Profile().WriteInt("LastSection", 99);
    w.Open();
    EXPECT_EQ(SelectedPort(), "COM3");
    EXPECT_EQ(w.Surface().Selection(kIdcSection), 0);
}

}  // namespace
}  // namespace pelorin::testing
