// Test mode of the window program.
#include "app/press_run.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <cstdio>

#include "session/session_protocol.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/loader_window.h"

namespace pelorin::app {
namespace {

constexpr int kWatchMs = 100;

// A click as the operator makes it: press and release, queued like any input.
void PostClick(QWidget& widget) {
    const QPointF centre = QRectF(widget.rect()).center();
    const QPointF global = widget.mapToGlobal(centre);
    QCoreApplication::postEvent(
        &widget, new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton,
                                 Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        &widget, new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton,
                                 Qt::NoButton, Qt::NoModifier));
}

}  // namespace

void PressRunner::Attach(ui::LoaderWindow& window) {
    window_ = &window;
    QTimer::singleShot(0, &window, [this] { Press(); });
    QObject::connect(&watch_, &QTimer::timeout, &window, [this] { Watch(); });
}

void PressRunner::Press() {
    auto* mode = window_->ControlAs<QComboBox>(ui::kIdcMode);
    mode->setCurrentIndex(run_.mode);
    emit mode->activated(run_.mode);
    if (!run_.section.empty()) {
        auto* sections = window_->ControlAs<QComboBox>(ui::kIdcSection);
        sections->setCurrentIndex(sections->findText(QString::fromStdString(run_.section)));
    }
    if (!run_.file.empty()) PostClick(*window_->Control(ui::kIdcBrowse));
    PostClick(*window_->Control(ui::kIdcOperation));
    pressedAt_ = std::chrono::steady_clock::now();
    watch_.start(kWatchMs);
}

void PressRunner::Watch() {
    const bool running = window_->Logic().OperationRunning();
    sawRunning_ |= running;
    if (sawRunning_ && !running) return Finish("ended");
    if (!sawRunning_ && sawError_) return Finish("refused");
    if (std::chrono::steady_clock::now() - pressedAt_ > std::chrono::seconds(run_.limitSeconds))
        Finish("took longer than " + std::to_string(run_.limitSeconds) + " s");
}

void PressRunner::Finish(const std::string& why) {
    watch_.stop();
    const QString status = window_->ControlAs<QLabel>(ui::kIdcStatusLine)->text();
    std::printf("operation %s\nstatus: %s\nmain: %s  sub: %s\n", why.c_str(),
                status.toStdString().c_str(),
                window_->ControlAs<QLabel>(ui::kIdcMainPercent)->text().toStdString().c_str(),
                window_->ControlAs<QLabel>(ui::kIdcSubPercent)->text().toStdString().c_str());
    std::fflush(stdout);
    exitStatus_ = status == QLatin1String("Mission completed") ? 0 : 1;
    window_->done(0);
}

PromptAnswer PressRunner::Show(const PromptRequest& request) {
    std::printf("message box [%s]: %s\n", request.caption.c_str(), request.text.c_str());
    std::fflush(stdout);
    sawError_ |= request.caption == kErrorCaption;
    return DefaultAnswer(request.buttons);
}

}  // namespace pelorin::app
