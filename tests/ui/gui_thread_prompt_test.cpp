// Message boxes asked for by another thread are shown on the window's thread, and a closed
// prompt never keeps that thread waiting.
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "ui/qt/gui_thread_prompt.h"

namespace pelorin::testing {

class ThreadNotingPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& request) override {
        onGuiThread = QThread::currentThread() == qApp->thread();
        text = request.text;
        return PromptAnswer::Yes;
    }
    bool onGuiThread = false;
    std::string text;
};

class GuiThreadPromptTest : public QObject {
    Q_OBJECT

  private slots:
    void showsOnTheWindowThreadAndReturnsTheAnswer() {
        ThreadNotingPrompt inner;
        ui::GuiThreadPrompt prompt(inner);
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            answer = int(prompt.Show(
                {"Send data error!", "Error", PromptIcon::Warning, PromptButtons::YesNo}));
        });
        QTRY_VERIFY_WITH_TIMEOUT(answer.load() != -1, 10000);
        worker.join();
        QCOMPARE(answer.load(), int(PromptAnswer::Yes));
        QVERIFY(inner.onGuiThread);
        QCOMPARE(inner.text, std::string("Send data error!"));
    }

    void closingReleasesAWaitingThread() {
        ThreadNotingPrompt inner;
        ui::GuiThreadPrompt prompt(inner);
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            answer = int(
                prompt.Show({"?", "Information", PromptIcon::Information, PromptButtons::YesNo}));
        });
        // The window's thread never turns to the request; closing must free the worker.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        prompt.Close();
        worker.join();
        QCOMPARE(answer.load(), int(PromptAnswer::No));
        QVERIFY(inner.text.empty());
        // On its own thread the window still shows what it is asked to.
        QCOMPARE(int(prompt.Show({"late", "Error"})), int(PromptAnswer::Yes));
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::GuiThreadPromptTest)
#include "gui_thread_prompt_test.moc"
