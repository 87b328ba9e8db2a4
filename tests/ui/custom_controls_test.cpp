// The gradient button's and the link label's pixels in each of their states, the link's click
// that opens or fails, and the page handler's command line.
#include <QCursor>
#include <QEnterEvent>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "ui/qt/gradient_button.h"
#include "ui/qt/link_label.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

namespace {

// Leaves the gradient rows bare: a border covers the first and last of them.
class BareButton final : public CGradientButton {
  public:
    using CGradientButton::CGradientButton;

  protected:
    void DrawBorder(QPainter&, const QRect&) override {}
};

using Rows = std::array<QRgb, 3>;  // rows 2, 19, and 20 and 21
constexpr QRgb kCoolLeft = qRgb(153, 198, 252);
constexpr QRgb kWarmLeft = qRgb(250, 196, 88);
constexpr QRgb kLink = qRgb(0, 0, 238);
constexpr QRgb kVisited = qRgb(85, 26, 139);
constexpr QRgb kHover = qRgb(255, 0, 0);
const std::string kUrl = "https://www.example.com/";

QImage Picture(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The longest run of `colour` on one row (0: none); an underline spans the text.
int LongestRun(const QImage& image, QRgb colour) {
    int longest = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0, run = 0; x < image.width(); ++x)
            longest = std::max(longest, run = image.pixel(x, y) == colour ? run + 1 : 0);
    return longest;
}

QRect InkBox(const QImage& image) {
    QRect box;
    for (int y = 2; y < image.height() - 2; ++y)
        for (int x = 2; x < image.width() - 2; ++x)
            if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    return box;
}

void Enter(QWidget& widget) {
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QCoreApplication::sendEvent(&widget, &enter);
}

// Swallows the toolkit's leave events, so only the link's hover timer can see the mouse go.
class NoLeaveEvents final : public QObject {
  protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Leave; }
};

}  // namespace

class CustomControlsTest : public QObject {
    Q_OBJECT

    QWidget* window_ = nullptr;
    RecordingPrompt prompt_;
    int openResult_ = 0;

    template <class Control>
    Control* Add(Control* control, QRect place) {
        control->setParent(window_);
        control->setGeometry(place);
        window_->show();
        return QTest::qWaitForWindowActive(window_) ? control : nullptr;
    }
    CLinkLabel* AddLink() {
        auto* link = new CLinkLabel(QString::fromStdString(kUrl), nullptr,
                                    [this](const std::string& url, int show) {
                                        return url == kUrl && show == kShowNormal ? openResult_ : 1;
                                    });
        link->SetPrompt(&prompt_);
        link = Add(link, {20, 20, 10, 10});
        if (link) link->FitToText();
        return link;
    }

  private slots:
    void init() {
        window_ = new QWidget;
        window_->resize(300, 80);
        prompt_.shown.clear();
    }
    void cleanup() { delete window_; }

    // 24 pixels high: the inner rectangle starts at row 2 and is 20 rows high, so its top row
    // takes step 63 * 2 / 20 = 6, row 19 step 59, and rows 20 and 21 step 63.
    void gradientRows_data() {
        QTest::addColumn<bool>("hover");
        QTest::addColumn<bool>("emphasised");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("hover, emphasised")
            << true << true
            << std::array{qRgb(254, 254, 253), qRgb(241, 241, 236), qRgb(240, 240, 234)};
        QTest::newRow("hover") << true << false
                               << std::array{qRgb(254, 254, 254), qRgb(241, 241, 244),
                                             qRgb(240, 240, 243)};
        QTest::newRow("emphasised")
            << false << true
            << std::array{qRgb(253, 253, 254), qRgb(236, 236, 241), qRgb(234, 234, 240)};
        QTest::newRow("idle") << false << false
                              << std::array{qRgb(253, 253, 254), qRgb(236, 236, 244),
                                            qRgb(234, 234, 243)};
    }
    void gradientRows() {
        QFETCH(bool, hover);
        QFETCH(bool, emphasised);
        QFETCH(Rows, rows);
        BareButton button(QString{});
        button.resize(80, 24);
        button.setDefault(emphasised);
        if (hover) Enter(button);
        const QImage image = Picture(button);
        QCOMPARE(button.Emphasised(), emphasised);
        for (int x : {2, 40, 77}) {
            QCOMPARE(image.pixel(x, 2), rows[0]);
            QCOMPARE(image.pixel(x, 19), rows[1]);
            QCOMPARE(image.pixel(x, 20), rows[2]);
            QCOMPARE(image.pixel(x, 21), rows[2]);
        }
        QCOMPARE(image.pixel(0, 12), qRgb(0, 0, 0));  // outline, then the brush's white
        QCOMPARE(image.pixel(1, 12), qRgb(255, 255, 255));
    }

    void borders() {
        auto* button = Add(new CGradientButton(QString{}), {10, 10, 80, 24});
        QVERIFY(button);
        // Idle: gradient, outline and white all have red equal to green; neither border has.
        button->clearFocus();
        QImage image = Picture(*button);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y)));

        // Focused: cool, with the dotted frame inverting every other pixel of the inner
        // rectangle's left column.
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        image = Picture(*button);
        QCOMPARE(image.pixel(3, 12), kCoolLeft);
        for (int y = 4; y < 20; ++y)
            QCOMPARE(image.pixel(2, y), y % 2 ? kCoolLeft : qRgb(255 - 153, 255 - 198, 255 - 252));

        // Focused under the mouse: warm, no frame.
        Enter(*button);
        image = Picture(*button);
        for (int y = 4; y < 20; ++y) QCOMPARE(image.pixel(2, y), kWarmLeft);
    }

    void captionDropsTheMnemonicAndMovesWhenPressed() {
        CGradientButton button(QStringLiteral("&OK")), plain(QStringLiteral("OK"));
        button.resize(80, 24);
        plain.resize(80, 24);
        const QImage up = Picture(button);
        QCOMPARE(up, Picture(plain));
        QVERIFY(qAbs(InkBox(up).center().x() - 40) <= 2);
        QCOMPARE(button.shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
        button.setDown(true);
        QCOMPARE(InkBox(Picture(button)), InkBox(up).translated(1, 1));
    }

    void linkColours() {
        CLinkLabel* link = AddLink();
        QVERIFY(link);
        QCOMPARE(link->toolTip(), QString::fromStdString(kUrl));
        QVERIFY(LongestRun(Picture(*link), kLink) > 0);

        QCursor::setPos(link->mapToGlobal(QPoint(3, 3)));
        QTest::mouseMove(link, QPoint(3, 3));
        QVERIFY(link->Hovering());
        QImage image = Picture(*link);
        QCOMPARE(LongestRun(image, kLink), 0);
        QVERIFY(LongestRun(image, kHover) > image.width() * 3 / 4);

        // The mouse goes and the toolkit says nothing: the hover timer sees it.
        NoLeaveEvents noLeave;
        link->installEventFilter(&noLeave);
        QCursor::setPos(window_->mapToGlobal(QPoint(280, 70)));
        QTRY_VERIFY_WITH_TIMEOUT(!link->Hovering(), 10000);
        image = Picture(*link);
        QVERIFY(LongestRun(image, kLink) > 0);
        QVERIFY(LongestRun(image, kLink) < image.width() / 2);

        openResult_ = 33;
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(link->Visited());
        QVERIFY(LongestRun(Picture(*link), kVisited) > 0);
        QVERIFY(prompt_.shown.empty());
    }

    void failedClickTellsWhyAndKeepsTheColour() {
        QCoreApplication::setApplicationName(QStringLiteral("pelorin"));
        CLinkLabel* link = AddLink();
        openResult_ = 32;  // the last failure code
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(prompt_.shown.size(), size_t(1));
        QCOMPARE(
            prompt_.shown[0].text,
            std::string(
                "Unable to open hyperlink:\n\nThe specified dynamic-link library was not found."));
        QCOMPARE(prompt_.shown[0].caption, std::string("pelorin"));
        QVERIFY(prompt_.shown[0].icon == PromptIcon::Warning);
        QVERIFY(!link->Visited());
        QVERIFY(LongestRun(Picture(*link), kLink) > 0);
        QCOMPARE(OpenErrorText(7), std::string("Unknown Error (7) occurred."));
    }

    // A handler registered as program, options and "%1" in quotes: everything before the
    // quoted placeholder (ending in its space), another space, the url.
    void handlerCommandLine() {
        QCOMPARE(HandlerCommandLine(R"("C:\Web\browser.exe" -nohome "%1")", kUrl),
                 R"("C:\Web\browser.exe" -nohome  )" + kUrl);
        QCOMPARE(HandlerCommandLine(R"(browser.exe %1 -new)", kUrl), "browser.exe  " + kUrl);
        QCOMPARE(HandlerCommandLine("browser.exe", kUrl), "browser.exe " + kUrl);
    }

    // The desktop's opener is xdg-open from the path; without one there is no association.
    void desktopOpenerRunsXdgOpen() {
        QTemporaryDir bin;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8());
        QCOMPARE(OpenUrl(kUrl, kShowNormal), kNoAssociation);
        const std::string opened = bin.filePath(QStringLiteral("opened")).toStdString();
        std::ofstream(bin.filePath(QStringLiteral("xdg-open")).toStdString())
            << "#!/bin/sh\necho \"$1\" >'" << opened << ".new'; /bin/mv '" << opened << ".new' '"
            << opened << "'\n";
        QFile::setPermissions(bin.filePath(QStringLiteral("xdg-open")), QFile::ExeOwner);
        QVERIFY(OpenUrl(kUrl + "?a='1'&b", kShowNormal) > kOpenSucceededAbove);
        qputenv("PATH", path);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(opened)), 20000);
        std::string line;
        std::getline(std::ifstream(opened), line);
        QCOMPARE(line, kUrl + "?a='1'&b");
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::CustomControlsTest)
#include "custom_controls_test.moc"
