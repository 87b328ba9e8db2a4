// Whole operations from the window against pelorin-sim on a pseudo-terminal: Download, Dump
// and Erase to "Mission completed", a cancelled Dump, and the watchdog's time-out message.
#include <signal.h>
#include <QProgressBar>
#include <QTest>
#include <fstream>
#include <iterator>

#include "child_process.h"
#include "session/board.h"
#include "session/watchdog.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;
using namespace std::chrono_literals;

class WindowSimTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowFixture> fixture_;
    std::unique_ptr<ChildProcess> sim_;

    // A board on a link in the test's folder; unpaced unless the arguments pace it.
    void StartBoard(std::vector<std::string> extra) {
        WindowFixture& w = *fixture_;
        const std::string link = (w.Dir() / "board").string();
        std::vector<std::string> argv = {PELORIN_SIM_PATH, "--link", link, "--flash",
                                         (w.Dir() / "flash.bin").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<ChildProcess>();
        QVERIFY(sim_->Start(argv));
        QVERIFY(w.WaitFor([&] { return std::filesystem::exists(link); }, 10s));
        w.Open({{link, "Simulated board"}});
    }
    // Waits, keeping the board's log pipe from filling.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s) {
        return fixture_->WaitFor(
            [&] {
                while (sim_ && sim_->ReadLine(1ms)) {
                }
                return done();
            },
            limit);
    }
    bool WaitForStatus(const QString& text) {
        return WaitFor([&] { return fixture_->Text(kIdcStatusLine) == text; });
    }
    void RunToCompletion() {
        WindowFixture& w = *fixture_;
        w.Click(kIdcOperation);
        QVERIFY(w.Window().Logic().OperationRunning());
        QVERIFY(w.Text(kIdcOperation).startsWith("Cancel "));
        QVERIFY(!w.Get<QComboBox>(kIdcMode)->isEnabled());
        QVERIFY(WaitFor([&] { return !w.Window().Logic().OperationRunning(); }));
        QCOMPARE(w.Text(kIdcStatusLine), QStringLiteral("Mission completed"));
        QCOMPARE(w.Get<QProgressBar>(kIdcMainProgress)->value(), 100);
        QCOMPARE(w.Get<QProgressBar>(kIdcSubProgress)->value(), 100);
        QCOMPARE(w.Text(kIdcMainPercent), QStringLiteral("100%"));
        QCOMPARE(w.Text(kIdcSubPercent), QStringLiteral("100%"));
        QVERIFY(!w.Text(kIdcOperation).startsWith("Cancel "));
        for (int id : {kIdcSerialPort, kIdcMode, kIdcSection, kIdcXtal, kIdcChipType})
            QVERIFY(w.Get<QWidget>(id)->isEnabled());
        QCOMPARE(w.prompt.shown.size(), size_t(0));
    }
    static std::vector<char> Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Whether this process still has `path` open.
    static bool OpenHere(const std::filesystem::path& path) {
        const auto target = std::filesystem::canonical(path);
        std::error_code ec;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec))
            if (std::filesystem::read_symlink(fd.path(), ec) == target) return true;
        return false;
    }

  private slots:
    void init() { fixture_ = std::make_unique<WindowFixture>(); }
    void cleanup() {
        fixture_->Close();
        if (sim_) {
            sim_->Signal(SIGTERM);
            sim_->Wait(10s);
        }
        sim_.reset();
        fixture_.reset();
    }

    void downloadDumpEraseToMissionCompleted() {
        WindowFixture& w = *fixture_;
        StartBoard({"--pace", "unpaced"});
        QVERIFY(w.Text(kIdcSerialPort).contains("Simulated board"));
        w.ChooseText(kIdcSection, "Logo");
        const auto image = w.WriteFile("image.bin", 0x6000, 7);
        w.dialogs.next = image.string();
        w.Click(kIdcBrowse);
        RunToCompletion();
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("&Download"));

        w.Choose(kIdcMode, 2);
        const auto dump = w.Dir() / "dump.bin";
        w.dialogs.next = dump.string();
        w.Click(kIdcBrowse);
        RunToCompletion();
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("D&ump"));
        const std::vector<char> sent = Read(image);
        std::vector<char> back = Read(dump);
        QCOMPARE(back.size(), size_t(0x8000));
        back.resize(sent.size());
        QVERIFY(back == sent);

        w.Choose(kIdcMode, 1);
        RunToCompletion();
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("&Erase"));
        QVERIFY(!w.Get<QPushButton>(kIdcBrowse)->isEnabled());
    }

    // Ticks far faster than the line: the estimate alone would reach 100 % at once, the bar
    // must stay with the bytes that left the host.
    void stepBarNeverRunsAheadOfTheLine() {
        WindowFixture& w = *fixture_;
        StartBoard({"--pace", "realtime"});
        w.ChooseText(kIdcSection, "Logo");
        const auto image = w.WriteFile("image.bin", 0x8000, 3);
        w.dialogs.next = image.string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        QVERIFY(WaitForStatus("Send data..."));
        QVERIFY(w.Window().TimerRunning(kSendEstimateTimer));
        const Board& board = w.Window().Logic().AttachedBoard();
        const auto left = [&] {
            return board.Port().BytesLeftHost() -
                   w.Window().Logic().AttachedBoard().Shared().sendStartQueued;
        };
        for (int tick = 0; tick < 60; ++tick) w.Window().Logic().OnTimer(kSendEstimateTimer);
        const int shown = w.Get<QProgressBar>(kIdcSubProgress)->value();
        QVERIFY2(uint64_t(shown) <= left() * 100 / 0x8000, qPrintable(QString::number(shown)));
        QVERIFY(shown < 100);
        QVERIFY(WaitFor([&] { return !w.Window().Logic().OperationRunning(); }));
        QCOMPARE(w.Text(kIdcStatusLine), QStringLiteral("Mission completed"));
    }

    void cancelDuringDumpKeepsThePartialFileClosed() {
        WindowFixture& w = *fixture_;
        StartBoard({"--pace", "realtime"});
        w.ChooseText(kIdcSection, "Logo");
        w.Choose(kIdcMode, 2);
        const auto dump = w.Dir() / "partial.bin";
        w.dialogs.next = dump.string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        QVERIFY(WaitFor([&] {
            return w.Window().Logic().AttachedBoard().Shared().dumpReceived.load() > 1024;
        }));
        w.Click(kIdcOperation);
        QVERIFY(!w.Window().Logic().OperationRunning());
        // The status line says where what arrived went.
        QVERIFY2(w.Text(kIdcStatusLine).startsWith("Cancel. The partial dump is kept: "),
                 qPrintable(w.Text(kIdcStatusLine)));
        QCOMPARE(w.Text(kIdcOperation), QStringLiteral("D&ump"));
        QCOMPARE(w.Text(kIdcMainPercent), QStringLiteral("0%"));
        QCOMPARE(w.Text(kIdcSubPercent), QStringLiteral("0%"));
        QCOMPARE(w.Get<QProgressBar>(kIdcSubProgress)->value(), 0);
        QVERIFY(w.Get<QComboBox>(kIdcMode)->isEnabled());
        QVERIFY(w.Get<QPushButton>(kIdcBrowse)->isEnabled());
        // What arrived is kept beside the chosen name; the name itself stays untouched.
        const auto partial = std::filesystem::path(dump.string() + kPartialSuffix);
        QVERIFY(!std::filesystem::exists(dump));
        QVERIFY(std::filesystem::exists(partial));
        const auto size = std::filesystem::file_size(partial);
        QVERIFY(size > 0 && size < 0x8000);
        QVERIFY(!OpenHere(partial));
        const QString info = QString::fromStdString(w.Window().Logic().InfoText());
        QVERIFY2(info.startsWith("The partial dump is kept: "), qPrintable(info));
        QVERIFY(info.contains(QString::number(size) + " bytes"));
    }

    void timeOutMessageAfterSixteenSilentTicksAtU() {
        WindowFixture& w = *fixture_;
        StartBoard({"--pace", "unpaced", "--silent-at", "U"});
        w.Choose(kIdcMode, 1);
        w.Click(kIdcOperation);
        QVERIFY(WaitForStatus("Send bootload bin"));
        QVERIFY(w.Window().TimerRunning(kWatchdogTimer));
        for (int tick = 0; tick < 15; ++tick) w.Window().Logic().OnTimer(kWatchdogTimer);
        QCOMPARE(w.prompt.CountWithCaption("Time Out"), size_t(0));
        w.Window().Logic().OnTimer(kWatchdogTimer);
        // The box opens after the tick, outside the timer's handler, which keeps ticking.
        QCOMPARE(w.prompt.CountWithCaption("Time Out"), size_t(0));
        QVERIFY(w.WaitFor([&] { return w.prompt.CountWithCaption("Time Out") == 1; }));
        const std::string text = w.prompt.shown.back().text;
        QCOMPARE(text, TimeoutMessageText('U'));
        QVERIFY(text.rfind("Time Out(85),please check:\n   1. Cable is connected correctly.\n",
                           0) == 0);
        QVERIFY(text.find("(Bootloader is not running)\n") != std::string::npos);
        QVERIFY(w.Window().Logic().OperationRunning());  // the operator decides
        // Unanswered, it comes again every 256 ticks.
        for (int tick = 0; tick < 256; ++tick) w.Window().Logic().OnTimer(kWatchdogTimer);
        QVERIFY(w.WaitFor([&] { return w.prompt.CountWithCaption("Time Out") == 2; }));
        w.Click(kIdcOperation);
        QCOMPARE(w.Text(kIdcStatusLine), QStringLiteral("Cancel"));
        QVERIFY(!w.Window().TimerRunning(kWatchdogTimer));
    }

    // Putting a layout in force ends the program; during an operation it waits.
    void theEditorDoesNotEndTheProgramDuringAnOperation() {
        WindowFixture& w = *fixture_;
        StartBoard({"--pace", "unpaced", "--silent-at", "U"});
        w.Choose(kIdcMode, 1);
        w.Click(kIdcOperation);
        QVERIFY(WaitForStatus("Send bootload bin"));
        auto* editor = w.Get<QWidget>(kIdcEditor);
        for (Qt::Key key : {Qt::Key_P, Qt::Key_L, Qt::Key_Return}) QTest::keyClick(editor, key);
        QVERIFY(!w.Window().Logic().EditorLocked());
        QTest::keyClick(editor, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(w.prompt.shown.back().caption, std::string("Error"));
        QVERIFY(w.prompt.shown.back().text.rfind("An operation is running", 0) == 0);
        QVERIFY(w.started.empty());
        QVERIFY(!w.Window().Logic().RestorePending());
        QVERIFY(w.Window().isVisible());
        QVERIFY(w.Window().Logic().OperationRunning());
        w.Click(kIdcOperation);
    }

    void noTimeOutWhileTheDataStreamHolds() {
        WindowFixture& w = *fixture_;
        StartBoard({"--pace", "unpaced", "--silent-at", "K"});
        w.ChooseText(kIdcSection, "Logo");
        w.dialogs.next = w.WriteFile("image.bin", 0x4000).string();
        w.Click(kIdcBrowse);
        w.Click(kIdcOperation);
        QVERIFY(WaitForStatus("Send data..."));
        QVERIFY(!w.Window().TimerRunning(kWatchdogTimer));
        for (int tick = 0; tick < 40; ++tick) w.Window().Logic().OnTimer(kWatchdogTimer);
        QCOMPARE(w.prompt.CountWithCaption("Time Out"), size_t(0));
        w.Click(kIdcOperation);
        QCOMPARE(w.Text(kIdcStatusLine), QStringLiteral("Cancel"));
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::WindowSimTest)
#include "window_sim_test.moc"
