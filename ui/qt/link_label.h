// A label that is a web link: the url as tooltip, a hand cursor, link, hover and visited
// colours, an underline while the mouse is over it, and a click that opens the url. A link
// that cannot be opened beeps and tells the operator why; it keeps its colour.
#pragma once

#include <QBasicTimer>
#include <QFont>
#include <QLabel>

#include "session/operator_prompt.h"
#include "ui/url_open.h"

namespace pelorin::ui {

class CLinkLabel : public QLabel {
  public:
    // Underline modes.
    static constexpr int kUnderlineAlways = 1;
    static constexpr int kUnderlineNever = 0;
    static constexpr int kUnderlineHover = -1;

    // Without a url the text is the url; `opener` opens it (tests open nothing).
    explicit CLinkLabel(const QString& text, QWidget* parent = nullptr,
                        UrlOpener opener = ::pelorin::ui::OpenUrl);

    void SetUrl(const QString& url);
    QString Url() const { return url_; }
    void SetUnderlineMode(int mode);
    int UnderlineMode() const { return underlineMode_; }
    void SetFitToText(bool fit) { fitToText_ = fit; }
    // Resizes the label to its text in the underlined font, keeping the edge or centre its
    // alignment names.
    void FitToText();
    // Where the error message goes; none: the toolkit's message box.
    void SetPrompt(IOperatorPrompt* prompt) { prompt_ = prompt; }
    void SetOpener(UrlOpener opener) { opener_ = std::move(opener); }

    bool Hovering() const { return hovering_; }
    bool Visited() const { return visited_; }
    bool HoverTimerRunning() const { return hoverTimer_.isActive(); }
    QColor TextColour() const;

    int OpenUrl(const std::string& url, int showCommand) { return opener_(url, showCommand); }
    void ReportOpenError(int code);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void StartHovering();
    void StopHovering();
    void Clicked();

    QString url_;
    QFont normalFont_;
    QFont underlinedFont_;
    UrlOpener opener_;
    IOperatorPrompt* prompt_ = nullptr;
    QBasicTimer hoverTimer_;
    bool hovering_ = false;
    bool visited_ = false;
    int underlineMode_ = kUnderlineHover;
    bool fitToText_ = true;
};

}  // namespace pelorin::ui
