// The window at start-up and its idle handlers: lists, settings and their overrides, the
// header SaveSettings fills, the mode change, the panel toggle, the status bar, Escape.
#include <QPlainTextEdit>
#include <QTest>
#include <fstream>

#include "config/default_layout.h"
#include "config/version.h"
#include "session/board.h"
#include "ui/dialog_template.h"
#include "ui/dialog_units.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

class WindowStartupTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowFixture> fixture_;

  private slots:
    void init() { fixture_ = std::make_unique<WindowFixture>(); }
    void cleanup() { fixture_.reset(); }

    void defaultLayoutFirstRun() {
        WindowFixture& w = *fixture_;
        CLoaderDlg& dlg = w.Open();
        QCOMPARE(dlg.windowTitle(), QString::fromStdString("Pelorin " + GetVersionText()));
        QVERIFY(dlg.AboutOffered());
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(w.aboutShown, 1);
        QCOMPARE(w.Text(kIdcTogglePanel), QStringLiteral(">>"));
        QVERIFY(w.Get<QPushButton>(kIdcTogglePanel)->isEnabled());
        QCOMPARE(dlg.width(), DluToPixelsX(574, BaseUnitsOf(dlg.font())) - 230);
        auto* sections = w.Get<QComboBox>(kIdcSection);
        QCOMPARE(sections->count(), 9);
        QCOMPARE(sections->itemText(3), QStringLiteral("Logo"));
        QCOMPARE(sections->currentIndex(), 0);
        QCOMPARE(w.Get<QComboBox>(kIdcChipType)->count(), 19);
        QCOMPARE(w.Get<QComboBox>(kIdcChipType)->itemText(18), QStringLiteral("QV119"));
        QVERIFY(!w.Get<QComboBox>(kIdcSdramMode)->isEnabled());
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("&Download"));
        QCOMPARE(w.Text(kIdcStatusLine), QStringLiteral("Sub Progress:"));
        QCOMPARE(dlg.StatusBarText(0), QStringLiteral("<Config>"));
        QCOMPARE(dlg.StatusBarText(1),
                 QStringLiteral("QV101 / 27 MHz / SDRAM / 64Mbit / full-page / "));
        // The edit shows line ends as its own; the text is the layout's.
        QCOMPARE(w.Get<QPlainTextEdit>(kIdcEditor)->toPlainText(),
                 QString::fromStdString(DefaultLayoutText()).remove('\r'));
    }

    void savedChoicesApplyWithoutOverrides() {
        WindowFixture& w = *fixture_;
        w.Profile().WriteInt("ChipType", 17);
        w.Profile().WriteInt("XTAL", 2);
        w.Profile().WriteInt("MemSize", 3);
        w.Open();
        QCOMPARE(w.Text(kIdcChipType), QStringLiteral("QV118"));
        QCOMPARE(w.Text(kIdcXtal), QStringLiteral("16 MHz"));
        QCOMPARE(w.Text(kIdcMemorySize), QStringLiteral("512Mbit"));
    }

    void configOverridesWinAndLock() {
        WindowFixture& w = *fixture_;
        w.Profile().WriteInt("ChipType", 5);
        w.WriteProgram(DefaultLayoutWith({{";ChipType=0", "ChipType=3"},
                                          {";DisableEtcOpt=1", "DisableEtcOpt=1"},
                                          {";Title=Pelorin", "Title=Bench 3"}}));
        CLoaderDlg& dlg = w.Open();
        QCOMPARE(w.Get<QComboBox>(kIdcChipType)->currentIndex(), 3);
        QCOMPARE(dlg.ReadConfigValue("ChipType"), 3u);
        QCOMPARE(dlg.windowTitle(), QString::fromStdString("Bench 3 " + GetVersionText()));
        QVERIFY(!dlg.AboutOffered());
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(w.aboutShown, 0);
        const int narrow = dlg.width();
        QCOMPARE(w.Text(kIdcTogglePanel), QStringLiteral(">>"));
        QVERIFY(!w.Get<QPushButton>(kIdcTogglePanel)->isEnabled());
        w.Click(kIdcTogglePanel);
        QCOMPARE(dlg.width(), narrow);
    }

    void configValueEmptyFallsBackNonNumericGivesZero() {
        WindowFixture& w = *fixture_;
        w.Profile().WriteInt("ChipType", 7);
        w.Profile().WriteInt("MemType", 1);
        w.WriteProgram(
            DefaultLayoutWith({{";ChipType=0", "ChipType="}, {";MemType=0", "MemType=x"}}));
        w.Open();
        QCOMPARE(w.Get<QComboBox>(kIdcChipType)->currentIndex(), 7);
        QCOMPARE(w.Get<QComboBox>(kIdcMemoryType)->currentIndex(), 0);
    }

    void saveSettingsFillsHeaderAndProfile() {
        WindowFixture& w = *fixture_;
        CLoaderDlg& dlg = w.Open();
        w.ChooseText(kIdcXtal, QStringLiteral("13.5 MHz"));
        w.Choose(kIdcChipType, 18);
        w.Choose(kIdcMemoryType, 1);
        QCOMPARE(dlg.Header().crystalKhz, uint16_t(13500));
        QCOMPARE(dlg.Header().chipCode, uint8_t(33));
        QCOMPARE(dlg.Header().memoryType, uint8_t(1));
        QCOMPARE(w.Profile().GetInt("XTAL"), 1);
        QCOMPARE(w.Profile().GetInt("ChipType"), 18);
        QCOMPARE(dlg.StatusBarText(1),
                 QStringLiteral("QV119 / 13.5 MHz / DDRAM / 64Mbit / full-page / "));
    }

    void summaryHasFiveFieldsAlsoWithoutASelection() {
        WindowFixture& w = *fixture_;
        w.Profile().WriteInt("XTAL", 9);  // beyond the list: no selection
        CLoaderDlg& dlg = w.Open();
        QCOMPARE(w.Get<QComboBox>(kIdcXtal)->currentIndex(), -1);
        QCOMPARE(dlg.StatusBarText(1), QStringLiteral("QV101 /  / SDRAM / 64Mbit / full-page / "));
        QCOMPARE(dlg.StatusBarText(1).count(QStringLiteral(" / ")), 5);
        dlg.SaveSettings();
        QCOMPARE(w.Profile().GetInt("XTAL"), -1);
        QCOMPARE(dlg.Header().crystalKhz, uint16_t(0));
    }

    void modeChangeSetsCaptionBrowseAndClearsFile() {
        WindowFixture& w = *fixture_;
        w.Open();
        w.dialogs.next = w.WriteFile("image.bin", 100).string();
        w.Click(kIdcBrowse);
        QCOMPARE(w.Text(kIdcFile), QString::fromStdString(*w.dialogs.next));
        w.Choose(kIdcMode, 2);
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("D&ump"));
        QVERIFY(w.Text(kIdcFile).isEmpty());
        QVERIFY(w.Window().FilePath().empty());
        QVERIFY(w.Get<QPushButton>(kIdcBrowse)->isEnabled());
        w.Choose(kIdcMode, 1);
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("&Erase"));
        QVERIFY(!w.Get<QPushButton>(kIdcBrowse)->isEnabled());
        w.Choose(kIdcMode, 0);
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("&Download"));
        QVERIFY(w.Get<QPushButton>(kIdcBrowse)->isEnabled());
    }

    void browseUsesTheFilterAndKeepsChoiceOnCancel() {
        WindowFixture& w = *fixture_;
        w.Open();
        const auto path = w.WriteFile("whole.bin", 0x10001);
        {
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            file.write("\xAA\x55\xAA\x55", 4);
        }
        w.dialogs.next = path.string();
        w.Click(kIdcBrowse);
        QVERIFY(w.Window().WholeImage());
        QCOMPARE(w.dialogs.filter.size(), size_t(2));
        QCOMPARE(QString::fromStdString(w.dialogs.filter[1].display),
                 QStringLiteral("(All File) *.* "));
        w.dialogs.next.reset();
        w.Click(kIdcBrowse);
        QCOMPARE(w.Text(kIdcFile), QString::fromStdString(path.string()));
        QVERIFY(w.Window().WholeImage());
    }

    void toggleTwiceRestoresWidthAndCaption() {
        WindowFixture& w = *fixture_;
        CLoaderDlg& dlg = w.Open();
        const int narrow = dlg.width();
        w.Click(kIdcTogglePanel);
        QCOMPARE(w.Text(kIdcTogglePanel), QStringLiteral("<<"));
        QCOMPARE(dlg.width(), narrow + 230);
        w.Click(kIdcTogglePanel);
        QCOMPARE(w.Text(kIdcTogglePanel), QStringLiteral(">>"));
        QCOMPARE(dlg.width(), narrow);
    }

    void escapeNeverClosesTheWindow() {
        WindowFixture& w = *fixture_;
        CLoaderDlg& dlg = w.Open();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QTest::keyClick(w.Get<QComboBox>(kIdcSection), Qt::Key_Escape);
        QTest::keyClick(w.Get<QPushButton>(kIdcOperation), Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), 0);
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::WindowStartupTest)
#include "window_startup_test.moc"
