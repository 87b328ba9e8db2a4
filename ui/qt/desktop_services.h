// The desktop around the Qt window, over the session bus: the launcher entry's progress
// (com.canonical.Unity.LauncherEntry, shown by KDE Plasma's task manager and GNOME's docks) and
// desktop notifications (org.freedesktop.Notifications). Without a bus each call does nothing.
#pragma once

#include <string>

#include "ui/dialog/dialog_surface.h"

namespace pelorin::ui {

inline constexpr const char* kDesktopEntryUri = "application://pelorin.desktop";

class DesktopServices {
  public:
    void SetTaskbarProgress(TaskbarState state, int percent);
    void Notify(const std::string& title, const std::string& text);

  private:
    TaskbarState shownState_ = TaskbarState::None;
    int shownPercent_ = -1;
};

}  // namespace pelorin::ui
