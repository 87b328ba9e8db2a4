// The gradient button's painting: outline, gradient, border, focus frame and caption.
#include "ui/qt/gradient_button.h"

#include <QPainter>
#include <algorithm>
#include <array>

#include "ui/qt/focus_rect.h"

namespace pelorin::ui {
namespace {

constexpr int kEdgePixels = 2;        // the platform's edge, inside the outline
constexpr qreal kCornerRadius = 2.5;  // a 5 x 5 corner ellipse
constexpr int kGradientSteps = 64;
constexpr QRgb kFrameColour = qRgb(0, 0, 0);
constexpr QRgb kFrameFill = qRgb(255, 255, 255);
constexpr QRgb kCaptionColour = qRgb(0, 0, 0);
constexpr QRgb kEmbossLight = qRgb(255, 255, 255);
constexpr QRgb kEmbossShadow = qRgb(128, 128, 128);

struct EdgePen {
    QRgb colour;
    int width;
};
// Left, right, top, bottom.
using BorderPens = std::array<EdgePen, 4>;
// Under the mouse, or without the focus.
constexpr BorderPens kWarmPens = {{
    {qRgb(250, 196, 88), 3},
    {qRgb(251, 202, 106), 3},
    {qRgb(252, 210, 121), 2},
    {qRgb(229, 151, 0), 2},
}};
// With the focus and not under the mouse.
constexpr BorderPens kCoolPens = {{
    {qRgb(153, 198, 252), 3},
    {qRgb(162, 189, 252), 3},
    {qRgb(162, 201, 255), 2},
    {qRgb(162, 201, 255), 2},
}};

// Step i of the gradient is red = green = 255 - i / a, blue = 255 - i / b.
struct GradientDivisors {
    bool hover;
    bool emphasised;
    int a;
    int b;
};
constexpr GradientDivisors kGradients[] = {
    {true, true, 4, 3},
    {true, false, 4, 5},
    {false, true, 3, 4},
    {false, false, 3, 5},
};

const GradientDivisors& DivisorsFor(bool hover, bool emphasised) {
    for (const GradientDivisors& row : kGradients)
        if (row.hover == hover && row.emphasised == emphasised) return row;
    return kGradients[3];
}

QColor StepColour(int step, const GradientDivisors& divisors) {
    const int redGreen = 255 - step / divisors.a;
    return {redGreen, redGreen, 255 - step / divisors.b};
}

}  // namespace

QString CaptionWithoutMnemonic(const QString& caption) {
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            shown += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            shown += u'&';
            ++i;
        }
    }
    return shown;
}

CGradientButton::CGradientButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {}

void CGradientButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(QColor(kFrameColour), 1));
    painter.setBrush(QColor(kFrameFill));
    painter.drawRoundedRect(rect().adjusted(0, 0, -1, -1), kCornerRadius, kCornerRadius);

    focused_ = hasFocus();
    emphasised_ = focused_ || isDown() || isDefault();
    const QRect inner = rect().adjusted(kEdgePixels, kEdgePixels, -kEdgePixels, -kEdgePixels);
    DrawBackground(painter, inner);
    if (hover_ || focused_) DrawBorder(painter, inner);
    DrawCaption(painter, inner);
}

// Rows are numbered from the button's top, so the gradient starts a little below white.
void CGradientButton::DrawBackground(QPainter& painter, const QRect& rect) {
    const GradientDivisors& divisors = DivisorsFor(hover_, emphasised_);
    const int height = rect.height();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const int step = std::min(kGradientSteps - 1, (kGradientSteps - 1) * y / height);
        painter.fillRect(QRect(rect.left(), y, rect.width(), 1), StepColour(step, divisors));
    }
}

void CGradientButton::DrawBorder(QPainter& painter, const QRect& rect) {
    const bool cool = focused_ && !hover_;
    const BorderPens& pens = cool ? kCoolPens : kWarmPens;
    // Right and bottom as the platform counts them: one past the last pixel.
    const int left = rect.left(), top = rect.top();
    const int right = left + rect.width(), bottom = top + rect.height();
    const std::array<QLine, 4> lines = {{
        {left, bottom - 1, left, top + 1},
        {right - 1, bottom - 1, right - 1, top},
        {left - 1, top, right - 1, top},
        {left, bottom, right - 1, bottom},
    }};
    painter.save();
    for (size_t i = 0; i < lines.size(); ++i) {
        painter.setPen(QPen(QColor(pens[i].colour), pens[i].width, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(lines[i]);
    }
    painter.restore();
    if (cool) DrawFocusRect(painter, rect);
}

void CGradientButton::DrawCaption(QPainter& painter, const QRect& inner) {
    const QString caption = CaptionWithoutMnemonic(text());
    const QFontMetrics metrics(font());
    const QSize size(metrics.horizontalAdvance(caption), metrics.height());
    QPoint at((inner.left() + inner.left() + inner.width()) / 2 - size.width() / 2,
              (inner.top() + inner.top() + inner.height()) / 2 - size.height() / 2);
    if (isDown()) at += QPoint(1, 1);
    const QRect box(at, size);
    constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter.setFont(font());
    if (isEnabled()) {
        painter.setPen(QColor(kCaptionColour));
        painter.drawText(box, kFlags, caption);
        return;
    }
    // Embossed: a light copy one pixel down and right, the shadow over it.
    painter.setPen(QColor(kEmbossLight));
    painter.drawText(box.translated(1, 1), kFlags, caption);
    painter.setPen(QColor(kEmbossShadow));
    painter.drawText(box, kFlags, caption);
}

void CGradientButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QPushButton::enterEvent(event);
}

void CGradientButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QPushButton::leaveEvent(event);
}

}  // namespace pelorin::ui
