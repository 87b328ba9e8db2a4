// The gradient button's pixels: the gradient rows in each colour state, the cool and warm
// borders with and without the focus frame, and the caption's place and look.
#include <QEnterEvent>
#include <QTest>

#include "ui/gradient_button.h"
#include "window_fixture.h"

namespace pelorin::testing {

using namespace ui;

namespace {

// Leaves the rows bare: a border would cover the first and last of them.
class BareButton final : public CGradientButton {
  public:
    using CGradientButton::CGradientButton;

  protected:
    void DrawBorder(QPainter&, const QRect&) override {}
};

constexpr QRgb kCoolLeft = qRgb(153, 198, 252);
constexpr QRgb kCoolRight = qRgb(162, 189, 252);
constexpr QRgb kCoolTop = qRgb(162, 201, 255);
constexpr QRgb kWarmLeft = qRgb(250, 196, 88);
constexpr QRgb kWarmRight = qRgb(251, 202, 106);

QRgb Inverted(QRgb colour) {
    return qRgb(255 - qRed(colour), 255 - qGreen(colour), 255 - qBlue(colour));
}

void Hover(QWidget& widget, bool on) {
    if (on) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(&widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&widget, &leave);
    }
}

QImage Picture(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every dark pixel inside `area`.
QRect InkBox(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    return box;
}

// A top-level host, active, so a button in it can take the focus.
struct Host {
    QWidget window;
    CGradientButton* button = new CGradientButton(QStringLiteral("&OK"), &window);
    CGradientButton* other = new CGradientButton(QStringLiteral("..."), &window);

    bool Open() {
        window.resize(200, 60);
        button->setGeometry(10, 10, 80, 24);
        other->setGeometry(100, 10, 80, 24);
        window.show();
        return QTest::qWaitForWindowActive(&window);
    }
};

}  // namespace

class GradientButtonTest : public QObject {
    Q_OBJECT

  private slots:
    // A 24-pixel button: its inner rectangle starts at row 2 and is 20 rows high, so the top
    // row takes step 63 * 2 / 20 = 6 and rows 20 and 21 step 63.
    void gradientRows_data() {
        QTest::addColumn<bool>("hover");
        QTest::addColumn<bool>("emphasised");
        QTest::addColumn<QRgb>("top");
        QTest::addColumn<QRgb>("row19");
        QTest::addColumn<QRgb>("bottom");
        QTest::newRow("hover, emphasised")
            << true << true << qRgb(254, 254, 253) << qRgb(241, 241, 236) << qRgb(240, 240, 234);
        QTest::newRow("hover") << true << false << qRgb(254, 254, 254) << qRgb(241, 241, 244)
                               << qRgb(240, 240, 243);
        QTest::newRow("emphasised")
            << false << true << qRgb(253, 253, 254) << qRgb(236, 236, 241) << qRgb(234, 234, 240);
        QTest::newRow("idle") << false << false << qRgb(253, 253, 254) << qRgb(236, 236, 244)
                              << qRgb(234, 234, 243);
    }
    void gradientRows() {
        QFETCH(bool, hover);
        QFETCH(bool, emphasised);
        QFETCH(QRgb, top);
        QFETCH(QRgb, row19);
        QFETCH(QRgb, bottom);
        BareButton button(QString{});
        button.resize(80, 24);
        button.setDefault(emphasised);
        Hover(button, hover);
        const QImage image = Picture(button);
        QCOMPARE(button.Hover(), hover);
        QCOMPARE(button.Emphasised(), emphasised);
        for (int x : {2, 40, 77}) {
            QCOMPARE(image.pixel(x, 2), top);
            QCOMPARE(image.pixel(x, 19), row19);
            QCOMPARE(image.pixel(x, 20), bottom);
            QCOMPARE(image.pixel(x, 21), bottom);
        }
        // The outline is black, the edge between it and the gradient the white of the brush.
        QCOMPARE(image.pixel(40, 0), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(0, 12), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(79, 12), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(40, 23), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(1, 12), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(40, 22), qRgb(255, 255, 255));
    }

    void focusedButtonShowsCoolBorderAndFocusFrame() {
        Host host;
        QVERIFY(host.Open());
        host.button->setFocus();
        QTRY_VERIFY(host.button->hasFocus());
        QImage image = Picture(*host.button);
        QVERIFY(host.button->Focused());
        QCOMPARE(image.pixel(3, 12), kCoolLeft);
        QCOMPARE(image.pixel(76, 12), kCoolRight);
        for (int x = 6; x < 70; x += 9) QCOMPARE(image.pixel(x, 1), kCoolTop);
        // The focus frame inverts every other pixel of the inner rectangle's left column.
        for (int y = 4; y < 20; ++y)
            QCOMPARE(image.pixel(2, y), y % 2 == 0 ? Inverted(kCoolLeft) : kCoolLeft);

        // Under the mouse: warm, and no focus frame.
        Hover(*host.button, true);
        image = Picture(*host.button);
        for (int y = 4; y < 20; ++y) QCOMPARE(image.pixel(2, y), kWarmLeft);
        QCOMPARE(image.pixel(76, 12), kWarmRight);

        // The mouse on a button without the focus: warm too.
        Hover(*host.button, false);
        Hover(*host.other, true);
        image = Picture(*host.other);
        QVERIFY(!host.other->Focused());
        QCOMPARE(image.pixel(2, 12), kWarmLeft);
    }

    // The gradient and black, white and grey pixels have equal red and green; neither border
    // has.
    void idleButtonHasNoColouredBorder() {
        CGradientButton button(QString{});
        button.resize(80, 24);
        const QImage image = Picture(button);
        QVERIFY(!button.Focused());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(qRed(image.pixel(x, y)) == qGreen(image.pixel(x, y)),
                         qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
    }

    void captionPlaceAndLook() {
        CGradientButton button(QStringLiteral("&OK"));
        button.resize(80, 24);
        const QRect inner(2, 2, 76, 20);
        const QImage up = Picture(button);
        const QRect upInk = InkBox(up, inner);
        QVERIFY(!upInk.isEmpty());
        // Centred, give or take the font's bearings.
        QVERIFY(qAbs(upInk.center().x() - 40) <= 2);

        // The mnemonic marker is not drawn.
        CGradientButton plain(QStringLiteral("OK"));
        plain.resize(80, 24);
        QCOMPARE(Picture(plain), up);
        QCOMPARE(CaptionWithoutMnemonic(QStringLiteral("&Download")), QStringLiteral("Download"));
        QCOMPARE(CaptionWithoutMnemonic(QStringLiteral("R&&D &x&")), QStringLiteral("R&D x"));

        button.setDown(true);
        QCOMPARE(InkBox(Picture(button), inner), upInk.translated(1, 1));

        // Disabled: embossed, a grey caption over its white copy, no black.
        button.setDown(false);
        button.setEnabled(false);
        const QImage disabled = Picture(button);
        QVERIFY(InkBox(disabled, inner).isEmpty());
        bool grey = false, white = false;
        for (int y = upInk.top(); y <= upInk.bottom() + 1; ++y)
            for (int x = upInk.left(); x <= upInk.right() + 1; ++x) {
                grey |= disabled.pixel(x, y) == qRgb(128, 128, 128);
                white |= disabled.pixel(x, y) == qRgb(255, 255, 255);
            }
        QVERIFY(grey && white);
    }

    void mnemonicStillWorks() {
        CGradientButton button(QStringLiteral("&OK"));
        QCOMPARE(button.shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));
    }

    void windowButtonsAreGradientButtons() {
        WindowFixture fixture;
        fixture.Open();
        for (int id : {kIdcOperation, kIdcBrowse, kIdcTogglePanel}) {
            auto* button = dynamic_cast<CGradientButton*>(fixture.Window().Control(id));
            QVERIFY(button);
            QVERIFY(!button->autoDefault());
            QCOMPARE(button->isDefault(), id == kIdcOperation);
        }
    }
};

}  // namespace pelorin::testing

QTEST_MAIN(pelorin::testing::GradientButtonTest)
#include "gradient_button_test.moc"
