// The About box: its caption, the version line completed on opening, the link to the maker's
// site, OK, and its picture for the README.
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "app/about_box.h"
#include "app/about_template.h"
#include "app/app_icon.h"
#include "ui/gradient_button.h"
#include "ui/link_label.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace app;

namespace {

// Rows of `image` with a dark pixel, counted as bands of consecutive rows.
int InkBands(const QImage& image) {
    int bands = 0;
    bool previous = false;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < image.width() && !ink; ++x) ink = qGray(image.pixel(x, y)) < 96;
        bands += ink && !previous;
        previous = ink;
    }
    return bands;
}

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

  private:
    RecordingPrompt prompt_;
    int openResult_ = 33;
    std::unique_ptr<CAboutBox> box_;

    template <class T>
    T* Get(int id) {
        return dynamic_cast<T*>(box_->Control(id));
    }

  private slots:
    void initTestCase() {
        QApplication::setApplicationName(QStringLiteral("pelorin"));
        QApplication::setWindowIcon(AppIcon());
    }
    void init() {
        prompt_.shown.clear();
        box_ = std::make_unique<CAboutBox>(nullptr, prompt_,
                                           [this](const std::string&, int) { return openResult_; });
    }
    void cleanup() { box_.reset(); }

    void contents() {
        QCOMPARE(box_->windowTitle(), QStringLiteral("About Downloader"));
        auto* version = Get<QLabel>(kIdcAboutVersion);
        QVERIFY(version);
        static const QRegularExpression kLine(
            QStringLiteral(R"(^Downloader Application V2\.105\r\nBuild [A-Z][a-z]{2} [ 1-3]\d )"
                           R"(\d{4} \d\d:\d\d:\d\d$)"));
        QVERIFY2(kLine.match(version->text()).hasMatch(), qPrintable(version->text()));
        // The line break shows as one: two lines of text, no third for the carriage return.
        QCOMPARE(InkBands(version->grab().toImage()), 2);

        auto* link = Get<ui::CLinkLabel>(kIdcAboutLink);
        QVERIFY(link);
        QCOMPARE(link->text(), QStringLiteral("https://www.example.com/"));
        QCOMPARE(link->Url(), link->text());
        QCOMPARE(link->toolTip(), link->text());

        auto* ok = Get<ui::CGradientButton>(kIdOk);
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("&OK"));
        QVERIFY(ok->isDefault());
    }

    void okHasTheFocusAndCloses() {
        box_->show();
        QVERIFY(QTest::qWaitForWindowActive(box_.get()));
        QTRY_VERIFY(Get<ui::CGradientButton>(kIdOk)->hasFocus());
        QTest::mouseClick(Get<ui::CGradientButton>(kIdOk), Qt::LeftButton);
        QVERIFY(!box_->isVisible());
        QCOMPARE(box_->result(), int(QDialog::Accepted));
    }

    void linkThatFailsIsReportedAndTheBoxStays() {
        openResult_ = 2;
        box_->show();
        QVERIFY(QTest::qWaitForWindowExposed(box_.get()));
        QTest::mouseClick(Get<ui::CLinkLabel>(kIdcAboutLink), Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(prompt_.shown.size(), size_t(1));
        QCOMPARE(prompt_.shown[0].text,
                 std::string("Unable to open hyperlink:\n\nThe specified file was not found."));
        QCOMPARE(prompt_.shown[0].caption, std::string("pelorin"));
        QVERIFY(box_->isVisible());
    }

    // The README's picture, written where PELORIN_SCREENSHOT_DIR points.
    void screenshots() {
        const QString dir = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("PELORIN_SCREENSHOT_DIR is not set");
        box_->show();
        QVERIFY(QTest::qWaitForWindowActive(box_.get()));
        QCoreApplication::processEvents();
        QVERIFY(box_->grab().save(dir + QStringLiteral("/about-box.png")));
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::AboutBoxTest)
#include "about_box_test.moc"
