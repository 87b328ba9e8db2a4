// Test modes of the window program on Windows.
#include "app_win32/test_modes_win32.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "session/session_protocol.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/win32/dialog_view_win32.h"

namespace pelorin::app {
namespace {

constexpr UINT kWatchMs = 100;
constexpr UINT kEditStepMs = 50;

PressRunnerWin32* g_press = nullptr;  // the one runner the thread timer calls

// A click as a button reports it to the dialog.
void Click(ui::DialogViewWin32& view, int id) {
    SendMessageW(view.Window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(view.Control(id)));
}

void PostKey(HWND hwnd, WPARAM vk) {
    PostMessageW(hwnd, WM_KEYDOWN, vk, 0);
    PostMessageW(hwnd, WM_KEYUP, vk, 0xC0000000);
}

}  // namespace

void PressRunnerWin32::Start(ui::DialogViewWin32& view, ui::CLoaderDlg& logic) {
    view_ = &view;
    logic_ = &logic;
    const std::string error = script_.Prepare(view, logic);
    if (!error.empty()) {
        std::fprintf(stderr, "pelorin: %s\n", error.c_str());
        return view.EndDialog(false);
    }
    if (!script_.Run().file.empty()) Click(view, ui::kIdcBrowse);
    Click(view, ui::kIdcOperation);
    script_.Pressed();
    g_press = this;
    timer_ = SetTimer(nullptr, 0, kWatchMs, Tick);
}

void CALLBACK PressRunnerWin32::Tick(HWND, UINT, UINT_PTR, DWORD) {
    PressRunnerWin32* self = g_press;
    if (!self || !self->script_.Watch(*self->view_, *self->logic_)) return;
    KillTimer(nullptr, self->timer_);
    g_press = nullptr;
    self->view_->EndDialog(false);
}

// Unlocks the editor with its key sequence, then edits on the next step.
void EditorRunnerWin32::Start(ui::DialogViewWin32& view) {
    view_ = &view;
    view.SetFocus(ui::kIdcEditor);
    HWND editor = view.Control(ui::kIdcEditor);
    for (WPARAM vk : {WPARAM('P'), WPARAM('L'), WPARAM(VK_RETURN)}) PostKey(editor, vk);
    SetTimer(view.Window(), 0x7E00, kEditStepMs, [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
        KillTimer(hwnd, id);
        auto* self = reinterpret_cast<EditorRunnerWin32*>(GetPropW(hwnd, L"PelorinEditorRun"));
        if (self) self->Edit();
    });
    SetPropW(view.Window(), L"PelorinEditorRun", this);
}

void EditorRunnerWin32::Edit() {
    HWND editor = view_->Control(ui::kIdcEditor);
    if (textFile_.empty()) {
        // Control+R: the key state the editor reads, held for the one key.
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] |= 0x80;
        SetKeyboardState(keys);
        PostKey(editor, 'R');
        view_->Defer([] {
            BYTE state[256];
            GetKeyboardState(state);
            state[VK_CONTROL] &= 0x7F;
            SetKeyboardState(state);
        });
        return;
    }
    std::ifstream file(textFile_, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "pelorin: cannot read %s\n", textFile_.c_str());
        view_->EndDialog(false);
        return;
    }
    std::ostringstream text;
    text << file.rdbuf();
    view_->SetText(ui::kIdcEditor, text.str());
    view_->SetFocus(ui::kIdcSection);
}

PromptAnswer EditorRunnerWin32::Show(const PromptRequest& request) {
    std::printf("message box [%s]: %s\n", request.caption.c_str(), request.text.c_str());
    std::fflush(stdout);
    // A refused save or restore leaves the window open for an operator; the script ends it.
    if (request.caption == kErrorCaption && view_)
        view_->Defer([this] { view_->EndDialog(false); });
    return request.buttons == PromptButtons::YesNoCancel ? PromptAnswer::Yes : PromptAnswer::Ok;
}

void PrintSections(ui::DialogViewWin32& view) {
    for (int i = 0; i < view.ItemCount(ui::kIdcSection); ++i)
        std::printf("%s\n", view.ItemText(ui::kIdcSection, i).c_str());
    std::fflush(stdout);
    view.EndDialog(true);
}

}  // namespace pelorin::app
