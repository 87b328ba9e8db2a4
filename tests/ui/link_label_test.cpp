// The link label: its colours and underline as the mouse comes and goes, the click that
// opens (or fails to open) its url, fitting to its text, and the page handler's command line.
#include <QCursor>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "ui/link_label.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

namespace {

constexpr QRgb kLink = qRgb(0, 0, 238);
constexpr QRgb kVisited = qRgb(85, 26, 139);
constexpr QRgb kHover = qRgb(255, 0, 0);
const QString kUrl = QStringLiteral("https://www.example.com/");

int CountOf(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == colour;
    return count;
}

// The longest run of `colour` on one row: an underline spans the text.
int LongestRun(const QImage& image, QRgb colour) {
    int longest = 0;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = image.pixel(x, y) == colour ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}

// Swallows the toolkit's leave events, so only the hover timer can see the mouse go.
class NoLeaveEvents final : public QObject {
  protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Leave; }
};

// An active window holding one link, whose opener answers `result` and records its calls.
struct Host {
    QWidget window;
    CLinkLabel* link;
    RecordingPrompt prompt;
    int result = 33;
    std::vector<std::pair<std::string, int>> opened;

    Host() {
        link = new CLinkLabel(kUrl, &window, [this](const std::string& url, int show) {
            opened.emplace_back(url, show);
            return result;
        });
        link->move(20, 20);
        link->FitToText();
        link->SetPrompt(&prompt);
        window.resize(300, 80);
    }
    bool Open() {
        window.show();
        return QTest::qWaitForWindowActive(&window);
    }
    QImage Picture() { return link->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void MouseOver() {
        QCursor::setPos(link->mapToGlobal(QPoint(3, 3)));
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), link->mapToGlobal(QPointF(3, 3)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(link, &move);
    }
};

}  // namespace

class LinkLabelTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("pelorin")); }

    void attachTakesTextAsUrl() {
        Host host;
        QCOMPARE(host.link->Url(), kUrl);
        QCOMPARE(host.link->toolTip(), kUrl);
        QCOMPARE(host.link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!host.link->font().underline());
        host.link->SetUrl(QStringLiteral("https://www.example.org/"));
        QCOMPARE(host.link->toolTip(), QStringLiteral("https://www.example.org/"));
        QCOMPARE(host.link->text(), kUrl);
    }

    void coloursFollowTheMouse() {
        Host host;
        QVERIFY(host.Open());
        QImage image = host.Picture();
        QVERIFY(CountOf(image, kLink) > 0);
        QCOMPARE(CountOf(image, kHover), 0);
        // Whatever the text does not cover is the button face.
        QCOMPARE(image.pixel(image.width() - 1, 0),
                 host.link->palette().color(QPalette::Button).rgb());

        host.MouseOver();
        QVERIFY(host.link->Hovering());
        QVERIFY(host.link->font().underline());
        image = host.Picture();
        QCOMPARE(CountOf(image, kLink), 0);
        QVERIFY(LongestRun(image, kHover) > image.width() * 3 / 4);

        // The mouse goes without a word from the toolkit: the timer notices.
        QVERIFY(host.link->HoverTimerRunning());
        NoLeaveEvents noLeave;
        host.link->installEventFilter(&noLeave);
        QCursor::setPos(host.window.mapToGlobal(QPoint(280, 70)));
        QTRY_VERIFY_WITH_TIMEOUT(!host.link->Hovering(), 10000);
        QVERIFY(!host.link->HoverTimerRunning());
        QVERIFY(!host.link->font().underline());
        image = host.Picture();
        QVERIFY(CountOf(image, kLink) > 0);
        QVERIFY(LongestRun(image, kLink) < image.width() / 2);
    }

    void underlineModes() {
        Host host;
        QVERIFY(host.Open());
        host.link->SetUnderlineMode(CLinkLabel::kUnderlineAlways);
        QVERIFY(host.link->font().underline());
        host.MouseOver();
        QCursor::setPos(host.window.mapToGlobal(QPoint(280, 70)));
        QTRY_VERIFY_WITH_TIMEOUT(!host.link->Hovering(), 10000);
        QVERIFY(host.link->font().underline());
        host.link->SetUnderlineMode(CLinkLabel::kUnderlineNever);
        host.MouseOver();
        QVERIFY(!host.link->font().underline());
    }

    void successfulClickVisits() {
        Host host;
        QVERIFY(host.Open());
        host.MouseOver();
        QTest::mouseClick(host.link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(host.opened.size(), size_t(1));
        QCOMPARE(host.opened[0].first, kUrl.toStdString());
        QCOMPARE(host.opened[0].second, kShowNormal);
        QVERIFY(host.link->Visited());
        QVERIFY(!host.link->Hovering());
        const QImage image = host.Picture();
        QVERIFY(CountOf(image, kVisited) > 0);
        QCOMPARE(CountOf(image, kLink), 0);
        QVERIFY(host.prompt.shown.empty());
    }

    void failedClickTellsWhyAndKeepsTheColour_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no association")
            << 31 << "There is no application associated\nwith the given filename extension.";
        QTest::newRow("out of memory")
            << 0 << "The operating system is out\nof memory or resources.";
        QTest::newRow("sharing") << 26 << "A sharing violation occurred. ";
        QTest::newRow("unknown") << 7 << "Unknown Error (7) occurred.";
    }
    void failedClickTellsWhyAndKeepsTheColour() {
        QFETCH(int, code);
        QFETCH(QString, reason);
        Host host;
        host.result = code;
        QVERIFY(host.Open());
        QTest::mouseClick(host.link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(host.prompt.shown.size(), size_t(1));
        const PromptRequest& shown = host.prompt.shown[0];
        QCOMPARE(shown.text, "Unable to open hyperlink:\n\n" + reason.toStdString());
        QCOMPARE(shown.caption, std::string("pelorin"));
        QVERIFY(shown.icon == PromptIcon::Warning);
        QVERIFY(!host.link->Visited());
        const QImage image = host.Picture();
        QVERIFY(CountOf(image, kLink) > 0);
        QCOMPARE(CountOf(image, kVisited), 0);
        QVERIFY(host.window.isVisible());
    }

    // The label takes its text's size and keeps the edge or centre its alignment names.
    void fitToTextKeepsItsAnchor_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("left");  // of a 200 x 40 place at (10, 10)
        QTest::addColumn<int>("top");
        const QSize text = QFontMetrics(UnderlinedFont()).size(0, kUrl);
        const int width = text.width(), height = text.height();
        QTest::newRow("left, top") << int(Qt::AlignLeft | Qt::AlignTop) << 10 << 10;
        QTest::newRow("centre") << int(Qt::AlignHCenter | Qt::AlignTop) << 10 + (200 - width) / 2
                                << 10;
        QTest::newRow("right, vertical centre")
            << int(Qt::AlignRight | Qt::AlignVCenter) << 210 - width << 10 + (40 - height) / 2;
    }
    void fitToTextKeepsItsAnchor() {
        QFETCH(int, alignment);
        QFETCH(int, left);
        QFETCH(int, top);
        QWidget window;
        CLinkLabel link(kUrl, &window);
        link.setAlignment(Qt::Alignment(alignment));
        link.setGeometry(10, 10, 200, 40);
        link.FitToText();
        QCOMPARE(link.geometry(),
                 QRect(QPoint(left, top), QFontMetrics(UnderlinedFont()).size(0, kUrl)));
    }

    // A page handler registered as a program, options and "%1": cut before the quoted
    // placeholder, keeping the space in front of it.
    void handlerCommandLine() {
        const std::string url = "https://www.example.com/";
        QCOMPARE(HandlerCommandLine(R"("C:\Program Files\Browser\browser.exe" -nohome "%1")", url),
                 std::string(R"("C:\Program Files\Browser\browser.exe" -nohome  )") + url);
        QCOMPARE(HandlerCommandLine(R"(C:\browser.exe %1 -new)", url),
                 std::string(R"(C:\browser.exe  )") + url);
        QCOMPARE(HandlerCommandLine(R"(C:\browser.exe -new)", url),
                 std::string(R"(C:\browser.exe -new )") + url);
    }

    // The desktop's opener is xdg-open from the path; without one there is no association.
    void desktopOpenerStartsXdgOpen() {
        QTemporaryDir bin;
        const QString saved = qEnvironmentVariable("PATH");
        qputenv("PATH", bin.path().toUtf8());
        QCOMPARE(OpenUrl(kUrl.toStdString(), kShowNormal), kNoAssociation);

        const QString opened = bin.filePath(QStringLiteral("opened"));
        const QString script = bin.filePath(QStringLiteral("xdg-open"));
        std::ofstream(script.toStdString())
            << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened.toStdString() << ".tmp'\n/bin/mv '"
            << opened.toStdString() << ".tmp' '" << opened.toStdString() << "'\n";
        QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
        const std::string url = "https://www.example.com/a page?x=1&y='2'";
        const int result = OpenUrl(url, kShowNormal);
        qputenv("PATH", saved.toUtf8());
        QVERIFY(result > kOpenSucceededAbove);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(opened), 20000);
        QFile file(opened);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().toStdString(), url);
    }

  private:
    static QFont UnderlinedFont() {
        QFont font = QWidget().font();
        font.setUnderline(true);
        return font;
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::LinkLabelTest)
#include "link_label_test.moc"
