// The test mode's checks, choices and watch.
#include "app/press_script.h"

#include <strings.h>

#include <cstdio>

#include "config/image_check.h"
#include "session/operation.h"
#include "session/session_protocol.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"

namespace pelorin::app {
namespace {

constexpr const char* kModeWords[] = {"download", "erase", "dump"};
constexpr const char* kSectionsHint = " (see: pelorin --print-sections)";

// The item whose text is `text`, or whose text begins with it and a blank (a port's name
// before its description); -1 when none.
int FindItem(const ui::IDialogSurface& surface, int id, const std::string& text, bool prefix) {
    for (int i = 0; i < surface.ItemCount(id); ++i) {
        const std::string item = surface.ItemText(id, i);
        if (strcasecmp(item.c_str(), text.c_str()) == 0) return i;
        if (prefix && item.rfind(text + " ", 0) == 0) return i;
    }
    return -1;
}

}  // namespace

std::string PressScript::Check(const ui::CLoaderDlg& logic) const {
    const auto kind = OperationKind(run_.mode);
    // A wrong default would erase or overwrite the boot loader: these two must name it.
    if (run_.section.empty() && kind != OperationKind::Dump)
        return std::string(kModeWords[run_.mode]) + " needs --section NAME" + kSectionsHint;
    const SegmentEntry* section = nullptr;
    for (const SegmentEntry& entry : logic.Segments())
        if (run_.section.empty() || strcasecmp(entry.name.c_str(), run_.section.c_str()) == 0) {
            section = &entry;
            break;
        }
    if (!section && !run_.section.empty())
        return "No section '" + run_.section + "' in the layout" + kSectionsHint;
    if (kind == OperationKind::Download) {
        if (run_.file.empty()) return kNoDownloadFileText;
        bool whole = false;
        if (section) return CheckInputFile(run_.file, *section, whole);
    }
    if (kind == OperationKind::Dump && run_.file.empty()) return "Please choose to dump files!";
    return {};
}

std::string PressScript::Prepare(ui::IDialogSurface& surface, ui::CLoaderDlg& logic) {
    std::string error = Check(logic);
    if (error.empty() && !run_.port.empty() &&
        FindItem(surface, ui::kIdcSerialPort, run_.port, true) < 0)
        error = "port " + run_.port + " is not listed";
    if (!error.empty()) {
        exitStatus_ = kBadArgumentStatus;
        return error;
    }
    surface.Select(ui::kIdcMode, run_.mode);
    logic.OnCommand(ui::kIdcMode, ui::Notification::SelectionChanged);
    if (!run_.section.empty())
        surface.Select(ui::kIdcSection, FindItem(surface, ui::kIdcSection, run_.section, false));
    if (!run_.port.empty())
        surface.Select(ui::kIdcSerialPort, FindItem(surface, ui::kIdcSerialPort, run_.port, true));
    startsBefore_ = logic.OperationsStarted();
    return {};
}

void PressScript::Pressed(const ui::CLoaderDlg&) {
    pressedAt_ = std::chrono::steady_clock::now();
}

// A count of starts, not a look at the running state: a fast board can end an operation
// between two looks.
bool PressScript::Watch(const ui::IDialogSurface& surface, const ui::CLoaderDlg& logic) {
    const bool started = logic.OperationsStarted() != startsBefore_;
    if (started && !logic.OperationRunning()) return Finish(surface, "ended"), true;
    if (!started && sawError_) return Finish(surface, "refused"), true;
    if (std::chrono::steady_clock::now() - pressedAt_ <= std::chrono::seconds(run_.limitSeconds))
        return false;
    Finish(surface, "took longer than " + std::to_string(run_.limitSeconds) + " s");
    return true;
}

void PressScript::Finish(const ui::IDialogSurface& surface, const std::string& why) {
    const std::string status = surface.Text(ui::kIdcStatusLine);
    std::printf("operation %s\nstatus: %s\nmain: %s  sub: %s\n", why.c_str(), status.c_str(),
                surface.Text(ui::kIdcMainPercent).c_str(),
                surface.Text(ui::kIdcSubPercent).c_str());
    std::fflush(stdout);
    exitStatus_ = status == "Mission completed" ? 0 : 1;
}

PromptAnswer PressScript::Show(const PromptRequest& request) {
    std::printf("message box [%s]: %s\n", request.caption.c_str(), request.text.c_str());
    std::fflush(stdout);
    if (request.caption == kErrorCaption) sawError_ = true;
    return DefaultAnswer(request.buttons);
}

}  // namespace pelorin::app
