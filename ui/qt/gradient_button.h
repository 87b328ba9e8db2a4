// The push button the windows draw themselves: a rounded outline, a vertical gradient that
// follows hover and emphasis, a coloured border under the mouse or with the focus, and the
// caption centred. Clicks, enabling and caption changes stay the toolkit's.
#pragma once

#include <QPushButton>

namespace pelorin::ui {

class CGradientButton : public QPushButton {
  public:
    explicit CGradientButton(const QString& text, QWidget* parent = nullptr);

    bool Hover() const { return hover_; }
    // As found at the last painting.
    bool Focused() const { return focused_; }
    bool Emphasised() const { return emphasised_; }

  protected:
    // Both get the inner rectangle, in the button's coordinates.
    virtual void DrawBackground(QPainter& painter, const QRect& rect);
    virtual void DrawBorder(QPainter& painter, const QRect& rect);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void DrawCaption(QPainter& painter, const QRect& inner);

    bool hover_ = false;
    bool focused_ = false;
    bool emphasised_ = false;
};

// The caption as the operator reads it: "&&" is one ampersand, a lone '&' marks the mnemonic
// and is not shown.
QString CaptionWithoutMnemonic(const QString& caption);

}  // namespace pelorin::ui
