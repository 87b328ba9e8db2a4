// What the window shows of an operation, driven the way the operation drives it: the send
// estimate, the repeated-value filter, and pictures of the window in each state.
#include <QProgressBar>
#include <QTest>

#include "session/operation_view.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

class WindowDisplayTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowFixture> fixture_;

    IOperationView& View() { return fixture_->Window(); }
    int SubBar() { return fixture_->Get<QProgressBar>(kIdcSubProgress)->value(); }

  private slots:
    void init() {
        fixture_ = std::make_unique<WindowFixture>();
        fixture_->Open();
    }
    void cleanup() { fixture_.reset(); }

    void sendEstimateReachesHundredAfterTenTicks() {
        WindowFixture& w = *fixture_;
        View().OnSendBegin(12800);
        QVERIFY(w.Window().TimerRunning(kSendEstimateTimer));
        for (int tick = 1; tick <= 9; ++tick) {
            w.Window().OnTimer(kSendEstimateTimer);
            QCOMPARE(SubBar(), tick * 10);
            QCOMPARE(w.Text(kIdcSubPercent), QString::number(tick * 10) + '%');
            QVERIFY(w.Window().TimerRunning(kSendEstimateTimer));
        }
        w.Window().OnTimer(kSendEstimateTimer);
        QCOMPARE(SubBar(), 100);
        QCOMPARE(w.Text(kIdcSubPercent), QStringLiteral("100%"));
        QVERIFY(!w.Window().TimerRunning(kSendEstimateTimer));
    }

    void estimatePastTheTotalShowsHundred() {
        WindowFixture& w = *fixture_;
        View().OnSendBegin(1000);
        w.Window().OnTimer(kSendEstimateTimer);
        QCOMPARE(w.Text(kIdcSubPercent), QStringLiteral("100%"));
        QVERIFY(!w.Window().TimerRunning(kSendEstimateTimer));
    }

    void sendEndStopsTheEstimate() {
        WindowFixture& w = *fixture_;
        View().OnSendBegin(12800);
        w.Window().OnTimer(kSendEstimateTimer);
        View().OnSendEnd();
        QVERIFY(!w.Window().TimerRunning(kSendEstimateTimer));
        QCOMPARE(SubBar(), 10);
    }

    void repeatedPercentChangesNothing() {
        WindowFixture& w = *fixture_;
        View().OnSubPercent(40);
        QCOMPARE(SubBar(), 40);
        View().OnSendBegin(1280);
        w.Window().OnTimer(kSendEstimateTimer);  // the estimate moves the bar, not the filter
        QCOMPARE(SubBar(), 100);
        View().OnSubPercent(40);
        QCOMPARE(SubBar(), 100);
        QCOMPARE(w.Text(kIdcSubPercent), QStringLiteral("100%"));
        View().OnMainPercent(42);
        QCOMPARE(w.Text(kIdcMainPercent), QStringLiteral("42%"));
    }

    // Pictures for the README, written where PELORIN_SCREENSHOT_DIR points.
    void screenshots() {
        const QString dir = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("PELORIN_SCREENSHOT_DIR is not set");
        WindowFixture& w = *fixture_;
        CLoaderDlg& dlg = w.Open({{"/dev/pts/3", "Simulated board, 27 MHz crystal"}});
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto shoot = [&](const char* name) {
            QCoreApplication::processEvents();
            QVERIFY(dlg.grab().save(dir + '/' + name + ".png"));
        };
        shoot("idle-narrow");
        w.Click(kIdcTogglePanel);
        shoot("idle-wide");
        w.Click(kIdcTogglePanel);
        w.ChooseText(kIdcSection, "Logo");
        View().OnStarted("Enter &Download Progress...");
        View().OnStage('K', "Send data...");
        View().OnMainPercent(37);
        View().OnSubPercent(62);
        shoot("running");
        View().OnStage('O', "Mission completed");
        View().OnMainPercent(100);
        View().OnSubPercent(100);
        View().OnEnded(Outcome::Completed, "Mission completed", false);
        shoot("completed");
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::WindowDisplayTest)
#include "window_display_test.moc"
