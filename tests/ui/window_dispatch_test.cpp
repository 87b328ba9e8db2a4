// The operation button's refusals: each with its message, the window left idle, the port
// never opened, and the settings saved all the same.
#include <QTest>

#include "config/image_check.h"
#include "session/board.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

class WindowDispatchTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowFixture> fixture_;

    // One message box, with this caption and a text that starts with `start`.
    void ExpectOneBox(const std::string& start, const std::string& caption = "Error") {
        WindowFixture& w = *fixture_;
        QVERIFY(w.WaitFor([&] { return !w.prompt.shown.empty(); }));
        QCoreApplication::processEvents();
        QCOMPARE(w.prompt.shown.size(), size_t(1));
        const PromptRequest& box = w.prompt.shown.front();
        QCOMPARE(box.caption, caption);
        QVERIFY2(box.text.rfind(start, 0) == 0, box.text.c_str());
        QVERIFY(box.icon == PromptIcon::Warning);
    }
    void ExpectIdle(const QString& caption) {
        WindowFixture& w = *fixture_;
        QVERIFY(!w.Window().OperationRunning());
        QCOMPARE(w.Text(kIdcOperation), caption);
        QVERIFY(w.Get<QComboBox>(kIdcMode)->isEnabled());
        QVERIFY(w.Get<QComboBox>(kIdcSection)->isEnabled());
        QVERIFY(!w.Window().TheBoard().Port().IsOpen());
    }

  private slots:
    void init() { fixture_ = std::make_unique<WindowFixture>(); }
    void cleanup() { fixture_.reset(); }

    void downloadWithoutFileStillSavesTheSettings() {
        WindowFixture& w = *fixture_;
        w.Open({{"/nonexistent/board", "Nowhere"}});
        w.Get<QComboBox>(kIdcChipType)->setCurrentIndex(4);  // not yet saved
        w.Click(kIdcOperation);
        ExpectOneBox(kNoDownloadFileText);
        QCOMPARE(w.prompt.shown.front().text, std::string(kNoDownloadFileText));
        ExpectIdle("&Download");
        QCOMPARE(w.Profile().GetInt("ChipType"), 4);
        QCOMPARE(w.Profile().GetInt("COM"), w.Get<QComboBox>(kIdcSerialPort)->currentIndex());
    }

    void downloadFileOneByteLongerThanTheSection() {
        WindowFixture& w = *fixture_;
        w.Open({{"/nonexistent/board", "Nowhere"}});
        w.ChooseText(kIdcSection, "Common Data");  // 0x800 bytes
        w.dialogs.next = w.WriteFile("long.bin", 0x801).string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        ExpectOneBox(kFileTooLongText);
        ExpectIdle("&Download");
    }

    void downloadFileOfTheSectionSizePassesToTheHandOver() {
        WindowFixture& w = *fixture_;
        w.Open({{"/nonexistent/board", "Nowhere"}});
        w.ChooseText(kIdcSection, "Common Data");
        w.dialogs.next = w.WriteFile("exact.bin", 0x800).string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        // Refused by the port, not by the length.
        ExpectOneBox("Can't open port!");
        ExpectIdle("&Download");
    }

    void dumpWithoutFile() {
        WindowFixture& w = *fixture_;
        w.Open();
        w.Choose(kIdcMode, 2);
        w.Click(kIdcOperation);
        ExpectOneBox("Please choose to dump files!");
        QCOMPARE(w.prompt.shown.front().text, std::string("Please choose to dump files!"));
        ExpectIdle("D&ump");
    }

    void portThatCannotOpen() {
        WindowFixture& w = *fixture_;
        w.Open({{"/nonexistent/board", "Nowhere"}});
        const QString port = w.Text(kIdcSerialPort);
        QVERIFY(port.startsWith("COM"));
        w.Choose(kIdcMode, 1);
        w.Click(kIdcOperation);
        ExpectOneBox("Can't open port!");
        QCOMPARE(w.prompt.shown.front().text, std::string("Can't open port!"));
        // The reason stays beside the box, on the status line.
        QVERIFY(w.Text(kIdcStatusLine).startsWith(port.section(' ', 0, 0) + " (/nonexistent/board): "));
        ExpectIdle("&Erase");
        QVERIFY(!w.Get<QPushButton>(kIdcBrowse)->isEnabled());
    }

    void emptySectionListRefusesEveryMode() {
        WindowFixture& w = *fixture_;
        w.WriteProgram("[Main]\r\nSegNumber=0\r\n");
        w.Open({{"/nonexistent/board", "Nowhere"}});
        QCOMPARE(w.Get<QComboBox>(kIdcSection)->count(), 0);
        for (int mode : {0, 1, 2}) {
            w.prompt.shown.clear();
            w.Choose(kIdcMode, mode);
            w.Click(kIdcOperation);
            ExpectOneBox("The layout defines no flash section");
            ExpectIdle(w.Text(kIdcOperation));
        }
    }

    void dumpFileThatCannotBeCreatedIsReportedBeforeThePortOpens() {
        WindowFixture& w = *fixture_;
        w.Open({{"/nonexistent/board", "Nowhere"}});
        w.Choose(kIdcMode, 2);
        w.dialogs.next = (w.Dir() / "no-such-folder" / "dump.bin").string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        ExpectOneBox("Can't create the dump file " + *w.dialogs.next);
        ExpectIdle("D&ump");
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::WindowDispatchTest)
#include "window_dispatch_test.moc"
