// The About box: caption, the version line completed on opening, link, OK, and its picture.
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "app/about_box.h"
#include "app/app_icon.h"
#include "ui/dialog/about_template.h"
#include "ui/qt/gradient_button.h"
#include "ui/qt/link_label.h"
#include "window_fixture.h"

namespace pelorin::testing {

using ui::kIdcAboutLink;
using ui::kIdcAboutVersion;
using ui::kIdOk;
using ui::kMakerUrl;

using namespace app;

class AboutBoxTest : public QObject {
    Q_OBJECT

    RecordingPrompt prompt_;
    std::unique_ptr<CAboutBox> box_;

  private slots:
    void init() {
        QApplication::setWindowIcon(AppIcon());
        box_ = std::make_unique<CAboutBox>(nullptr, prompt_);
        box_->show();
        QVERIFY(QTest::qWaitForWindowActive(box_.get()));
    }
    void cleanup() { box_.reset(); }

    void contents() {
        QCOMPARE(box_->windowTitle(), QStringLiteral("About Downloader"));
        auto* version = dynamic_cast<QLabel*>(box_->Control(kIdcAboutVersion));
        static const QRegularExpression kLine(QStringLiteral(
            R"(^Downloader Application V2\.105\r\nBuild [A-Z][a-z]{2} [ 1-3]\d \d{4} \d\d:\d\d:\d\d$)"));
        QVERIFY2(kLine.match(version->text()).hasMatch(), qPrintable(version->text()));
        // Shown as two lines of ink, the carriage return adding none.
        const QImage image = version->grab().toImage();
        int bands = 0;
        for (int y = 0, previous = 0; y < image.height(); ++y) {
            int ink = 0;
            for (int x = 0; x < image.width(); ++x) ink |= qGray(image.pixel(x, y)) < 96;
            bands += ink && !previous;
            previous = ink;
        }
        QCOMPARE(bands, 2);

        auto* link = dynamic_cast<ui::CLinkLabel*>(box_->Control(kIdcAboutLink));
        QCOMPARE(link->text(), QStringLiteral("https://www.example.com/"));
        QCOMPARE(link->Url(), link->text());
        auto* ok = dynamic_cast<ui::CGradientButton*>(box_->Control(kIdOk));
        QCOMPARE(ok->text(), QStringLiteral("&OK"));
        QTRY_VERIFY(ok->hasFocus());
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(box_->result(), int(QDialog::Accepted));
        QVERIFY(!box_->isVisible());
    }

    // The README's picture, written where PELORIN_SCREENSHOT_DIR points.
    void screenshots() {
        const QString dir = qEnvironmentVariable("PELORIN_SCREENSHOT_DIR");
        if (dir.isEmpty()) QSKIP("PELORIN_SCREENSHOT_DIR is not set");
        QCoreApplication::processEvents();
        QVERIFY(box_->grab().save(dir + QStringLiteral("/about-box.png")));
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::AboutBoxTest)
#include "about_box_test.moc"
