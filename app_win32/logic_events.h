// The window's events handed to the dialog logic, one for one.
#pragma once

#include "ui/dialog/loader_dlg.h"
#include "ui/win32/dialog_view_win32.h"

namespace pelorin::app {

class LogicEvents final : public ui::IDialogEvents {
  public:
    explicit LogicEvents(ui::CLoaderDlg& logic) : logic_(logic) {}
    void OnInitDialog() override { logic_.OnInitDialog(); }
    void OnCommand(int id, ui::Notification n) override { logic_.OnCommand(id, n); }
    void Dispatch(uint32_t id, uint64_t w, int64_t l) override { logic_.Dispatch(id, w, l); }
    void OnBeep() override { logic_.OnBeep(0, 0); }
    void OnTimer(int id) override { logic_.OnTimer(id); }
    bool OnEditorKey(ui::EditorKey key, bool control) override {
        return logic_.OnEditorKey(key, control);
    }
    void OnEditorFocusLost() override { logic_.OnEditorFocusLost(); }
    void OnHelpKey() override { logic_.OnHelpKey(); }
    bool AboutOffered() const override { return logic_.AboutOffered(); }
    void OnDevicesChanged() override { logic_.OnDevicesChanged(); }
    void OnFilesDropped(const std::vector<std::string>& paths) override {
        logic_.OnFilesDropped(paths);
    }

  private:
    ui::CLoaderDlg& logic_;
};

}  // namespace pelorin::app
