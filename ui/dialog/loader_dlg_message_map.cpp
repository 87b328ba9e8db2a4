// The main window's message map: control notifications and the worker's window messages, each
// bound to its handler.
#include "session/board.h"
#include "session/messages.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/window_messages.h"

namespace pelorin::ui {

struct CLoaderDlg::MessageMapEntry {
    uint32_t message;  // a window message; 0 for a control notification
    Notification notification;
    int controlId;
    void (CLoaderDlg::*command)();
    long (CLoaderDlg::*handler)(uint64_t wParam, int64_t lParam);
};

namespace {

using Entry = CLoaderDlg::MessageMapEntry;

constexpr Entry OnClicked(int id, void (CLoaderDlg::*command)()) {
    return {0, Notification::Clicked, id, command, nullptr};
}
constexpr Entry OnSelectionChanged(int id, void (CLoaderDlg::*command)()) {
    return {0, Notification::SelectionChanged, id, command, nullptr};
}
constexpr Entry OnMessage(uint32_t message, long (CLoaderDlg::*handler)(uint64_t, int64_t)) {
    return {message, Notification::Clicked, 0, nullptr, handler};
}

}  // namespace

const CLoaderDlg::MessageMapEntry CLoaderDlg::kMessageMap[] = {
    OnClicked(kIdcOperation, &CLoaderDlg::OnOperationButton),
    OnClicked(kIdcTogglePanel, &CLoaderDlg::OnTogglePanel),
    OnClicked(kIdcBrowse, &CLoaderDlg::OnBrowse),
    OnSelectionChanged(kIdcMode, &CLoaderDlg::OnModeChange),
    OnMessage(WM_SESSION_UPDATE, &CLoaderDlg::OnSessionUpdate),
    OnMessage(WM_SESSION_FINISHED, &CLoaderDlg::OnSessionFinished),
    OnMessage(WM_SESSION_SEND_BEGIN, &CLoaderDlg::OnSendBegin),
    OnMessage(WM_SESSION_SEND_END, &CLoaderDlg::OnSendEnd),
    OnMessage(kBeepMessage, &CLoaderDlg::OnBeep),
    OnSelectionChanged(kIdcChipType, &CLoaderDlg::SaveSettings),
    OnSelectionChanged(kIdcXtal, &CLoaderDlg::SaveSettings),
    OnSelectionChanged(kIdcMemoryType, &CLoaderDlg::SaveSettings),
    OnSelectionChanged(kIdcMemorySize, &CLoaderDlg::SaveSettings),
    OnSelectionChanged(kIdcSdramMode, &CLoaderDlg::SaveSettings),
    OnSelectionChanged(kIdcSerialPort, &CLoaderDlg::RememberChoices),
    OnSelectionChanged(kIdcSection, &CLoaderDlg::RememberChoices),
};

void CLoaderDlg::OnCommand(int controlId, Notification notification) {
    if (ended_) return;
    for (const MessageMapEntry& entry : kMessageMap)
        if (entry.command && entry.controlId == controlId && entry.notification == notification)
            return (this->*entry.command)();
}

void CLoaderDlg::Dispatch(uint32_t id, uint64_t wParam, int64_t lParam) {
    for (const MessageMapEntry& entry : kMessageMap)
        if (entry.handler && entry.message == id) {
            (this->*entry.handler)(wParam, lParam);
            return;
        }
    // Messages the window does not show itself (the worker's message box notes) still belong
    // to the operation.
    ForwardToOperation(id, wParam, lParam);
}

long CLoaderDlg::OnBeep(uint64_t, int64_t) {
    surface_.Beep();
    return 0;
}

}  // namespace pelorin::ui
