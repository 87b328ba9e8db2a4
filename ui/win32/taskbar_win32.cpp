// The taskbar list is made on first use, on the window's thread, long after its button exists.
#include "ui/win32/taskbar_win32.h"

#include <objbase.h>
#include <shobjidl.h>

namespace pelorin::ui {

TaskbarButton::~TaskbarButton() {
    if (list_) list_->Release();
    if (comStarted_) CoUninitialize();
}

bool TaskbarButton::Connect() {
    if (tried_) return list_ != nullptr;
    tried_ = true;
    comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    void* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                &list)))
        return false;
    list_ = static_cast<ITaskbarList3*>(list);
    if (SUCCEEDED(list_->HrInit())) return true;
    list_->Release();
    list_ = nullptr;
    return false;
}

void TaskbarButton::SetProgress(HWND window, TaskbarState state, int percent) {
    if (!window || !Connect()) return;
    if (state == TaskbarState::None) {
        list_->SetProgressState(window, TBPF_NOPROGRESS);
        return;
    }
    list_->SetProgressState(window, state == TaskbarState::Error ? TBPF_ERROR : TBPF_NORMAL);
    list_->SetProgressValue(window, ULONGLONG(percent), 100);
}

void TaskbarButton::Flash(HWND window) {
    FLASHWINFO flash = {sizeof flash, window, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    FlashWindowEx(&flash);
}

}  // namespace pelorin::ui
