// The Qt view of the main window: what only the toolkit does. The widgets stand at their
// template places, the narrow window shows nothing of the chip group, keys and focus changes
// reach the logic as the operator makes them, and the README's pictures.
#include <QComboBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

#include "config/version.h"
#include "serial/port_names.h"
#include "session/operation_view.h"
#include "ui/dialog/dialog_template.h"
#include "ui/dialog/port_watch.h"
#include "ui/qt/dialog_units.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

class WindowViewTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowFixture> fixture_;

    QPlainTextEdit* Editor() { return fixture_->Get<QPlainTextEdit>(kIdcEditor); }
    void Type(std::initializer_list<Qt::Key> keys, Qt::KeyboardModifiers modifiers = {}) {
        for (Qt::Key key : keys) QTest::keyClick(Editor(), key, modifiers);
    }

  private slots:
    void init() { fixture_ = std::make_unique<WindowFixture>(); }
    void cleanup() { fixture_.reset(); }

    void controlsAtTheirTemplatePlacesAndTheNarrowWindow() {
        WindowFixture& w = *fixture_;
        LoaderWindow& dlg = w.Open();
        QCOMPARE(dlg.windowTitle(), QString::fromStdString("Pelorin " + GetVersionText()));
        const DialogBaseUnits base = BaseUnitsOf(dlg.font());
        const DialogTemplate& dialog = MainWindowTemplate();
        w.Click(kIdcTogglePanel);
        QCOMPARE(dlg.width(), DluToPixelsX(dialog.width, base));
        for (const ControlEntry& entry : dialog.controls) {
            if (entry.id < 0) continue;
            const QRect place = DluToPixels(entry.place, base);
            const QRect at = dlg.Control(entry.id)->geometry();
            // The status line grows upward, so that a long ending wraps.
            if (entry.id == kIdcStatusLine)
                QCOMPARE(at.bottomLeft(), place.bottomLeft());
            else
                QCOMPARE(at.topLeft(), place.topLeft());
            QCOMPARE(at.width(), place.width());
            QVERIFY(dlg.Control(entry.id)->isVisibleTo(&dlg));
        }
        // Narrow: the chip group starts at or beyond the right edge, its lists take no focus.
        w.Click(kIdcTogglePanel);
        QVERIFY(dlg.width() <= DluToPixelsX(424, base));
        for (int id : {kIdcChipType, kIdcXtal, kIdcMemoryType, kIdcMemorySize, kIdcSdramMode})
            QVERIFY(!dlg.Control(id)->isVisibleTo(&dlg));
        QCOMPARE(dlg.StatusBarText(0), QStringLiteral("<Config>"));
    }

    void keysReachTheLogicAndEscapeNeverCloses() {
        WindowFixture& w = *fixture_;
        LoaderWindow& dlg = w.Open();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTest::keyClick(&dlg, Qt::Key_F1);
        QCOMPARE(w.aboutShown, 1);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QTest::keyClick(w.Get<QComboBox>(kIdcSection), Qt::Key_Escape);
        QCoreApplication::processEvents();
        QVERIFY(dlg.isVisible());

        // Enter in the locked editor presses no button; the letters count in either case.
        Editor()->setFocus();
        Type({Qt::Key_Return});
        QVERIFY(!dlg.Logic().OperationRunning());
        QVERIFY(w.prompt.shown.empty());
        Type({Qt::Key_P});
        Type({Qt::Key_L}, Qt::ShiftModifier);
        Type({Qt::Key_Return});
        QVERIFY(!dlg.Logic().EditorLocked());
        QVERIFY(!Editor()->isReadOnly());

        // Clicking the operation button takes the focus: the question, and no Dump.
        w.Choose(kIdcMode, 2);
        Editor()->setFocus();
        QCoreApplication::processEvents();
        Editor()->appendPlainText(QStringLiteral("[Extra]"));
        w.prompt.answers = {PromptAnswer::Cancel};
        w.Click(kIdcOperation);
        QVERIFY(w.WaitFor([&] { return !w.prompt.shown.empty(); }));
        QCoreApplication::processEvents();
        QCOMPARE(w.prompt.shown.back().text, std::string("Are you sure to save your changes?"));
        QCOMPARE(w.prompt.shown.size(), size_t(1));
        QVERIFY(!dlg.Logic().OperationRunning());
        QVERIFY(!dlg.Logic().EditorLocked());
    }

    // Pictures for the README, written where PELORIN_SCREENSHOT_DIR points.
    void screenshots() {
        const QString dir = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("PELORIN_SCREENSHOT_DIR is not set");
        WindowFixture& w = *fixture_;
        const std::vector<ExtraPort> board = {{"/dev/pts/3", "Simulated board, 27 MHz crystal"}};
        auto shoot = [&](const char* name) {
            QCoreApplication::processEvents();
            QVERIFY(w.Window().grab().save(dir + '/' + name + ".png"));
        };
        QVERIFY(QTest::qWaitForWindowExposed(&w.Open(board)));
        shoot("idle-narrow");
        w.Click(kIdcTogglePanel);
        shoot("idle-wide");
        Editor()->setFocus();
        Type({Qt::Key_P, Qt::Key_L, Qt::Key_Return});
        Editor()->moveCursor(QTextCursor::Start);
        Editor()->insertPlainText(QStringLiteral("; Bench 3: a larger logo\n"));
        shoot("editor-unlocked");

        QVERIFY(QTest::qWaitForWindowExposed(&w.Open(board)));
        IOperationView& view = w.Window().Logic();
        w.ChooseText(kIdcSection, "Logo");
        view.OnStarted("Enter Download Progress...");
        view.OnStage('K', "Send data...");
        view.OnMainPercent(37);
        view.OnSubPercent(62);
        shoot("running");
        view.OnStage('O', "Mission completed");
        view.OnMainPercent(100);
        view.OnSubPercent(100);
        view.OnEnded(Outcome::Completed, "Mission completed", false);
        shoot("completed");

        QVERIFY(QTest::qWaitForWindowExposed(&w.Open(board)));
        static_cast<IOperationView&>(w.Window().Logic()).OnStarted("Enter Download Progress...");
        w.Window().Logic().OnTimer(kNoAnswerTimer);
        shoot("no-answer-hint");
    }

    // A stand-in for the system's device folder: a device that comes is listed within 2 s,
    // one that goes leaves the list.
    void portListFollowsTheDeviceFolder() {
        WindowFixture& w = *fixture_;
        const std::filesystem::path device = w.Dir() / "ttyFAKE0";
        qputenv(kDeviceDirVariable, QByteArray::fromStdString(w.Dir().string()));
        qputenv(kPortMapVariable, QByteArray::fromStdString("140=" + device.string()));
        w.Open();
        qunsetenv(kDeviceDirVariable);
        auto listed = [&] {
            return w.Get<QComboBox>(kIdcSerialPort)->findText("COM140", Qt::MatchStartsWith) >= 0;
        };
        QVERIFY(!listed());
        w.WriteFile("ttyFAKE0", 1);
        QTRY_VERIFY_WITH_TIMEOUT(listed(), 2000);
        std::filesystem::remove(device);
        QTRY_VERIFY_WITH_TIMEOUT(!listed(), 2000);
        qunsetenv(kPortMapVariable);
    }

    // Files dropped anywhere on the window reach the logic; other things are no drop.
    void fileDroppedOnTheWindow() {
        WindowFixture& w = *fixture_;
        QVERIFY(QTest::qWaitForWindowExposed(&w.Open()));
        const auto file = w.WriteFile("image.bin", 4096);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&w.Window(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&w.Window(), &drop);
        QCOMPARE(w.Window().Logic().FilePath(), file.string());
        QMimeData text;
        text.setText(QStringLiteral("no file"));
        QDragEnterEvent other(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&w.Window(), &other);
        QVERIFY(!other.isAccepted());
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::WindowViewTest)
#include "window_view_test.moc"
