// The program's test mode on the Qt window: the script's clicks go through the window's event
// queue as the operator's would; the script decides the rest.
#pragma once

#include <QTimer>

#include "app/press_script.h"

namespace pelorin::ui {
class LoaderWindow;
}

namespace pelorin::app {

class PressRunner final {
  public:
    explicit PressRunner(PressRun run) : script_(std::move(run)) {}

    // The window's prompt and file dialogs in this mode.
    PressScript& Script() { return script_; }
    // Begins once the window's loop runs.
    void Attach(ui::LoaderWindow& window);
    int ExitStatus() const { return script_.ExitStatus(); }

  private:
    void Press();

    PressScript script_;
    ui::LoaderWindow* window_ = nullptr;
    QTimer watch_;
};

}  // namespace pelorin::app
