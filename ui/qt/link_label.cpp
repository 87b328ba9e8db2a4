// The link label's fonts, fitting, hover tracking, painting and click.
#include "ui/qt/link_label.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "ui/qt/message_box_prompt.h"

namespace pelorin::ui {
namespace {

constexpr QRgb kLinkColour = qRgb(0, 0, 238);
constexpr QRgb kVisitedColour = qRgb(85, 26, 139);
constexpr QRgb kHoverColour = qRgb(255, 0, 0);
// How often the label looks whether the mouse has left it.
constexpr int kHoverCheckMs = 100;
constexpr const char* kOpenErrorIntro = "Unable to open hyperlink:\n\n";

}  // namespace

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent, UrlOpener opener)
    : QLabel(text, parent), url_(text), opener_(std::move(opener)) {
    // A plain static text: top-left, unless told otherwise.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    normalFont_ = font();
    normalFont_.setUnderline(false);
    underlinedFont_ = normalFont_;
    underlinedFont_.setUnderline(true);
    setFont(normalFont_);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setToolTip(url_);
    FitToText();
}

void CLinkLabel::SetUrl(const QString& url) {
    url_ = url;
    FitToText();
    setToolTip(url_);
}

void CLinkLabel::SetUnderlineMode(int mode) {
    if (mode == underlineMode_) return;
    setFont(mode == kUnderlineAlways ? underlinedFont_ : normalFont_);
    update();
    underlineMode_ = mode;
}

void CLinkLabel::FitToText() {
    if (!fitToText_) return;
    const QSize needed =
        QFontMetrics(underlinedFont_).size(0, text()) + (size() - contentsRect().size());
    const QRect place = geometry();
    const Qt::Alignment align = alignment();
    int top = place.top();
    if (align & Qt::AlignVCenter) top += (place.height() - needed.height()) / 2;
    int left = place.left();
    if (align & Qt::AlignHCenter)
        left += (place.width() - needed.width()) / 2;
    else if (align & Qt::AlignRight)
        left += place.width() - needed.width();
    setGeometry(QRect(QPoint(left, top), needed));
}

QColor CLinkLabel::TextColour() const {
    if (hovering_) return QColor(kHoverColour);
    return QColor(visited_ ? kVisitedColour : kLinkColour);
}

void CLinkLabel::ReportOpenError(int code) {
    const PromptRequest request{kOpenErrorIntro + OpenErrorText(code),
                                QCoreApplication::applicationName().toStdString(),
                                PromptIcon::Warning};
    if (prompt_) {
        prompt_->Show(request);
        return;
    }
    MessageBoxPrompt boxes(window());
    boxes.Show(request);
}

void CLinkLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    drawFrame(&painter);
    painter.setFont(font());
    painter.setPen(TextColour());
    painter.drawText(contentsRect(), int(alignment()), text());
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    if (!hovering_) StartHovering();
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::enterEvent(QEnterEvent* event) {
    if (!hovering_) StartHovering();
    QLabel::enterEvent(event);
}

// Faster than the timer where the toolkit reports it; the timer still watches.
void CLinkLabel::leaveEvent(QEvent* event) {
    if (hovering_) StopHovering();
    QLabel::leaveEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Clicked();
}

void CLinkLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() != hoverTimer_.timerId()) return QLabel::timerEvent(event);
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) StopHovering();
}

void CLinkLabel::StartHovering() {
    hovering_ = true;
    if (underlineMode_ == kUnderlineHover) setFont(underlinedFont_);
    update();
    hoverTimer_.start(kHoverCheckMs, this);
}

void CLinkLabel::StopHovering() {
    hovering_ = false;
    hoverTimer_.stop();
    if (underlineMode_ != kUnderlineAlways) setFont(normalFont_);
    update();
}

void CLinkLabel::Clicked() {
    hovering_ = false;
    const int result = OpenUrl(url_.toStdString(), kShowNormal);
    if (result > kOpenSucceededAbove) {
        visited_ = true;
        update();
        return;
    }
    QApplication::beep();
    ReportOpenError(result);
}

}  // namespace pelorin::ui
