// Test mode of the Qt window.
#include "app/press_run.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <cstdio>

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
    QObject::connect(&watch_, &QTimer::timeout, &window, [this] {
        if (script_.Watch(*window_, window_->Logic())) window_->done(0);
    });
}

void PressRunner::Press() {
    const std::string error = script_.Prepare(*window_, window_->Logic());
    if (!error.empty()) {
        std::fprintf(stderr, "pelorin: %s\n", error.c_str());
        return window_->done(0);
    }
    if (!script_.Run().file.empty()) PostClick(*window_->Control(ui::kIdcBrowse));
    PostClick(*window_->Control(ui::kIdcOperation));
    script_.Pressed();
    watch_.start(kWatchMs);
}

}  // namespace pelorin::app
