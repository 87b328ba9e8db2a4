// The window's taskbar button on Windows: progress through ITaskbarList3, and a flash that asks
// for the operator's eye until the window is activated.
#pragma once

#include <windows.h>

#include "ui/dialog/dialog_surface.h"

struct ITaskbarList3;

namespace pelorin::ui {

class TaskbarButton {
  public:
    TaskbarButton() = default;
    ~TaskbarButton();
    TaskbarButton(const TaskbarButton&) = delete;
    TaskbarButton& operator=(const TaskbarButton&) = delete;

    // Without a taskbar (an older shell, no COM) nothing shows.
    void SetProgress(HWND window, TaskbarState state, int percent);
    static void Flash(HWND window);

  private:
    bool Connect();

    ITaskbarList3* list_ = nullptr;
    bool tried_ = false;
    bool comStarted_ = false;
};

}  // namespace pelorin::ui
