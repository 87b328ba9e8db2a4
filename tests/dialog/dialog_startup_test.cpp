// The window's logic at start-up and its idle handlers: lists, settings and their overrides,
// the header SaveSettings fills, the mode change, the panel toggle, the status bar, the About
// box's offer and what an operation's display shows.
#include <gtest/gtest.h>

#include "config/default_layout.h"
#include "config/version.h"
#include "dialog_fixture.h"
#include "session/board.h"
#include "ui/dialog/dialog_units.h"

namespace pelorin::testing {
namespace {

using namespace ui;

TEST(DialogStartup, DefaultLayoutFirstRun) {
    DialogFixture w;
    CLoaderDlg& dlg = w.Open();
    EXPECT_EQ(w.Surface().caption, "Pelorin " + GetVersionText());
    EXPECT_TRUE(dlg.AboutOffered());
    dlg.OnHelpKey();
    EXPECT_EQ(w.Surface().aboutShown, 1);
    EXPECT_EQ(w.Text(kIdcTogglePanel), ">>");
    EXPECT_TRUE(w.Enabled(kIdcTogglePanel));
    EXPECT_EQ(w.Surface().At(kIdcSection).items.size(), 9u);
    EXPECT_EQ(w.Surface().ItemText(kIdcSection, 3), "Logo");
    EXPECT_EQ(w.Surface().Selection(kIdcSection), 0);
    EXPECT_EQ(w.Surface().ItemCount(kIdcChipType), 19);
    EXPECT_EQ(w.Surface().ItemText(kIdcChipType, 18), "QV119");
    EXPECT_FALSE(w.Enabled(kIdcSdramMode));
    EXPECT_EQ(w.Text(kIdcOperation), "&Download");
    EXPECT_EQ(w.Text(kIdcStatusLine), "Sub Progress:");
    EXPECT_EQ(w.Surface().statusParts[1], "QV101 / 27 MHz / SDRAM / 64Mbit / full-page / ");
    // The editor shows line feeds; the text is the layout's.
    std::string layout = DefaultLayoutText();
    std::erase(layout, '\r');
    EXPECT_EQ(w.Text(kIdcEditor), layout);
    EXPECT_TRUE(w.Surface().At(kIdcEditor).readOnly);
}

// Narrowing hides the whole chip group, whatever the font: its left edge lies at or beyond
// the narrow window's right edge, and widening shows all of it again.
TEST(DialogStartup, NarrowWindowHidesTheChipGroupAtEveryFont) {
    const ControlEntry& group = MainWindowTemplate().controls[20];
    ASSERT_EQ(group.place.x, 424);
    for (int baseX : {6, 7, 8}) {
        DialogFixture w(baseX);
        CLoaderDlg& dlg = w.Open();
        const DialogBaseUnits base{baseX, 13};
        const int full = DluToPixelsX(MainWindowTemplate().width, base);
        EXPECT_LE(w.Surface().width, DluToPixelsX(group.place.x, base)) << baseX;
        for (int id : {kIdcChipType, kIdcXtal, kIdcMemoryType, kIdcMemorySize, kIdcSdramMode})
            EXPECT_FALSE(w.Surface().At(id).shown) << id;
        w.Click(kIdcTogglePanel);
        EXPECT_TRUE(dlg.PanelShown());
        EXPECT_EQ(w.Text(kIdcTogglePanel), "<<");
        EXPECT_GE(w.Surface().width, full - 1) << baseX;
        EXPECT_TRUE(w.Surface().At(kIdcChipType).shown);
        w.Click(kIdcTogglePanel);
        EXPECT_EQ(w.Text(kIdcTogglePanel), ">>");
        EXPECT_LE(w.Surface().width, DluToPixelsX(group.place.x, base));
    }
}

TEST(DialogStartup, SavedChoicesAndLayoutOverrides) {
    DialogFixture w;
    w.Profile().WriteInt("ChipType", 17);
    w.Profile().WriteInt("XTAL", 2);
    w.Profile().WriteInt("MemSize", 3);
    w.Open();
    EXPECT_EQ(w.Text(kIdcChipType), "QV118");
    EXPECT_EQ(w.Text(kIdcXtal), "16 MHz");
    EXPECT_EQ(w.Text(kIdcMemorySize), "512Mbit");

    // [Config] wins over the profile, locks the panel and sets the caption; an empty value
    // falls back to the profile, a word reads as 0.
    w.Profile().WriteInt("MemType", 1);
    w.WriteProgram(DefaultLayoutWith({{";ChipType=0", "ChipType=3"},
                                      {";DisableEtcOpt=1", "DisableEtcOpt=1"},
                                      {";Title=Pelorin", "Title=Bench 3"},
                                      {";MemType=0", "MemType=x"},
                                      {";XTAL=0", "XTAL="}}));
    CLoaderDlg& dlg = w.Open();
    EXPECT_EQ(w.Surface().Selection(kIdcChipType), 3);
    EXPECT_EQ(dlg.ReadConfigValue("ChipType"), 3u);
    EXPECT_EQ(w.Surface().Selection(kIdcMemoryType), 0);
    EXPECT_EQ(w.Surface().Selection(kIdcXtal), 2);
    EXPECT_EQ(w.Surface().caption, "Bench 3 " + GetVersionText());
    EXPECT_FALSE(dlg.AboutOffered());
    dlg.OnHelpKey();
    EXPECT_EQ(w.Surface().aboutShown, 0);
    const int narrow = w.Surface().width;
    EXPECT_FALSE(w.Enabled(kIdcTogglePanel));
    w.Click(kIdcTogglePanel);
    EXPECT_EQ(w.Surface().width, narrow);
}

TEST(DialogStartup, SaveSettingsFillsHeaderProfileAndSummary) {
    DialogFixture w;
    CLoaderDlg& dlg = w.Open();
    w.ChooseText(kIdcXtal, "13.5 MHz");
    w.Choose(kIdcChipType, 18);
    w.Choose(kIdcMemoryType, 1);
    EXPECT_EQ(dlg.Header().crystalKhz, 13500);
    EXPECT_EQ(dlg.Header().chipCode, 33);
    EXPECT_EQ(dlg.Header().memoryType, 1);
    EXPECT_EQ(w.Profile().GetInt("XTAL"), 1);
    EXPECT_EQ(w.Profile().GetInt("ChipType"), 18);
    EXPECT_EQ(w.Surface().statusParts[1], "QV119 / 13.5 MHz / DDRAM / 64Mbit / full-page / ");
}

// A value outside its list, from the profile or the layout, selects the list's first item, and
// the next save writes that: no start-up leaves a list empty, no press writes -1.
TEST(DialogStartup, ValuesOutsideTheirListsSelectTheDefault) {
    DialogFixture w;
    w.Profile().WriteInt("XTAL", 9);
    w.Profile().WriteInt("MemType", -1);
    w.Profile().WriteInt("COM", 4000);
    w.WriteProgram(
        DefaultLayoutWith({{";ChipType=0", "ChipType=999"}, {";MemSize=0", "MemSize=2147483648"}}));
    w.Open({{"/nonexistent/board", "Nowhere"}});
    for (int id : {kIdcChipType, kIdcXtal, kIdcMemoryType, kIdcMemorySize})
        EXPECT_EQ(w.Surface().Selection(id), 0) << id;
    EXPECT_GE(w.Surface().Selection(kIdcSerialPort), 0);
    EXPECT_EQ(w.Surface().statusParts[1], "QV101 / 27 MHz / SDRAM / 64Mbit / full-page / ");
    w.Click(kIdcOperation);
    for (const char* key : {"ChipType", "XTAL", "MemType", "MemSize", "COM"})
        EXPECT_GE(w.Profile().GetInt(key), 0) << key;
    EXPECT_EQ(w.Dlg().Header().crystalKhz, 27000);
}

// With the panel locked the chip lists stay hidden: no key reaches them.
TEST(DialogStartup, LockedPanelKeepsTheChipListsOutOfReach) {
    DialogFixture w;
    w.WriteProgram(DefaultLayoutWith({{";DisableEtcOpt=1", "DisableEtcOpt=1"}}));
    w.Open();
    w.Click(kIdcTogglePanel);
    EXPECT_FALSE(w.Dlg().PanelShown());
    for (int id : {kIdcChipType, kIdcXtal, kIdcMemoryType, kIdcMemorySize, kIdcSdramMode})
        EXPECT_FALSE(w.Surface().At(id).shown) << id;
}

TEST(DialogStartup, ModeChangeSetsCaptionBrowseAndClearsTheFile) {
    DialogFixture w;
    w.Open();
    w.dialogs.next = w.WriteFile("image.bin", 100).string();
    w.Click(kIdcBrowse);
    EXPECT_EQ(w.Text(kIdcFile), *w.dialogs.next);
    w.Choose(kIdcMode, 2);
    EXPECT_EQ(w.Text(kIdcOperation), "D&ump");
    EXPECT_EQ(w.Text(kIdcFile), "");
    EXPECT_TRUE(w.Dlg().FilePath().empty());
    EXPECT_TRUE(w.Enabled(kIdcBrowse));
    w.Choose(kIdcMode, 1);
    EXPECT_EQ(w.Text(kIdcOperation), "&Erase");
    EXPECT_FALSE(w.Enabled(kIdcBrowse));
    w.Choose(kIdcMode, 0);
    EXPECT_EQ(w.Text(kIdcOperation), "&Download");
    EXPECT_TRUE(w.Enabled(kIdcBrowse));
}

TEST(DialogStartup, BrowseUsesTheFilterKeepsChoiceOnCancelAndNamesTheProgram) {
    DialogFixture w;
    w.Open();
    const auto path = w.WriteFile("whole.bin", 0x10001);
    std::string bytes = ReadText(path);
    bytes.replace(0, 4, "\xAA\x55\xAA\x55");
    WriteText(path, bytes);
    w.dialogs.next = path.string();
    w.Click(kIdcBrowse);
    EXPECT_TRUE(w.Dlg().WholeImage());
    ASSERT_EQ(w.dialogs.filter.size(), 2u);
    EXPECT_EQ(w.dialogs.filter[1].display, "(All File) *.* ");
    w.dialogs.next.reset();
    w.Click(kIdcBrowse);
    EXPECT_EQ(w.Text(kIdcFile), path.string());
    EXPECT_TRUE(w.Dlg().WholeImage());

    // A file that cannot be read: the box carries the program's name.
    w.dialogs.next = (w.Dir() / "missing.bin").string();
    w.Click(kIdcBrowse);
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_EQ(w.prompt.shown[0].caption, "pelorin-under-test");
}

// A layout that cannot be is refused with its reason at start-up, once; a line too long to read
// stays out of the editor.
TEST(DialogStartup, ALayoutThatCannotBeSaysWhy) {
    DialogFixture w;
    std::string layout = DefaultLayoutWith({{"SegNumber=9", "SegNumber=100000"}});
    w.WriteProgram(layout);
    w.Open();
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_NE(w.prompt.shown[0].text.find("SegNumber 100000 is too large"), std::string::npos)
        << w.prompt.shown[0].text;
    EXPECT_EQ(w.Surface().ItemCount(kIdcSection), 0);

    w.prompt.shown.clear();
    layout = DefaultLayoutWith({{";ChipType=0", "Compression=bogus"}});
    layout += "; " + std::string(1 << 20, 'x') + "\r\n";
    w.WriteProgram(layout);
    w.Open();
    ASSERT_EQ(w.prompt.shown.size(), 1u);
    EXPECT_NE(w.prompt.shown[0].text.find("64 KiB"), std::string::npos);
    EXPECT_NE(w.prompt.shown[0].text.find("Compression=bogus"), std::string::npos);
    EXPECT_LT(w.Text(kIdcEditor).size(), size_t(64 * 1024));
    EXPECT_NE(w.Text(kIdcEditor).find("bytes is left out"), std::string::npos);
}

// What the operation tells the window: the send estimate, the repeated-value filter.
TEST(DialogDisplay, SendEstimateAndPercentFilter) {
    DialogFixture w;
    CLoaderDlg& dlg = w.Open();
    IOperationView& view = dlg;
    view.OnSendBegin(12800);
    for (int tick = 1; tick <= 9; ++tick) {
        dlg.OnTimer(kSendEstimateTimer);
        EXPECT_EQ(w.Surface().At(kIdcSubProgress).bar, tick * 10);
        EXPECT_EQ(w.Text(kIdcSubPercent), std::to_string(tick * 10) + "%");
        EXPECT_TRUE(w.Surface().TimerRunning(kSendEstimateTimer));
    }
    dlg.OnTimer(kSendEstimateTimer);
    EXPECT_EQ(w.Text(kIdcSubPercent), "100%");
    EXPECT_FALSE(w.Surface().TimerRunning(kSendEstimateTimer));

    view.OnSendBegin(12800);
    dlg.OnTimer(kSendEstimateTimer);
    view.OnSendEnd();
    EXPECT_FALSE(w.Surface().TimerRunning(kSendEstimateTimer));
    EXPECT_EQ(w.Surface().At(kIdcSubProgress).bar, 10);

    view.OnSubPercent(40);
    view.OnSendBegin(1280);
    dlg.OnTimer(kSendEstimateTimer);  // the estimate moves the bar, not the filter
    EXPECT_EQ(w.Surface().At(kIdcSubProgress).bar, 100);
    view.OnSubPercent(40);
    EXPECT_EQ(w.Text(kIdcSubPercent), "100%");
    view.OnMainPercent(42);
    EXPECT_EQ(w.Text(kIdcMainPercent), "42%");

    // Status texts are plain: the mnemonic of a caption is no character there.
    view.OnStarted("Enter Erase Progress...");
    EXPECT_EQ(w.Text(kIdcStatusLine), "Enter Erase Progress...");
    EXPECT_EQ(w.Text(kIdcOperation), "Cancel &Download");
    w.Choose(kIdcMode, 2);
    view.OnStarted("Enter D&ump Progress...");
    EXPECT_EQ(w.Text(kIdcStatusLine), "Enter Dump Progress...");
    view.OnEnded(Outcome::Completed, "Mission completed", false);
    EXPECT_EQ(w.Text(kIdcOperation), "D&ump");
}

}  // namespace
}  // namespace pelorin::testing
