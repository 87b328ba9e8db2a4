// The test mode's checks, choices and watch.
#include "app/press_script.h"

#include <strings.h>

#include <cstdio>

#include "config/image_check.h"
#include "config/segment_table.h"
#include "session/operation.h"
#include "session/session_protocol.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"

namespace pelorin::app {
namespace {

constexpr const char* kModeWords[] = {"download", "erase", "dump"};
constexpr const char* kSectionsHint = " (see: pelorin --print-sections)";

// The port list's item that is `name` or begins with it and a blank (the name before the
// device's description); -1 when none.
int FindPort(const ui::IDialogSurface& surface, const std::string& name) {
    for (int i = 0; i < surface.ItemCount(ui::kIdcSerialPort); ++i) {
        const std::string item = surface.ItemText(ui::kIdcSerialPort, i);
        if (strcasecmp(item.c_str(), name.c_str()) == 0 || item.rfind(name + " ", 0) == 0) return i;
    }
    return -1;
}

}  // namespace

std::string PressScript::Check(const ui::CLoaderDlg& logic) const {
    const auto kind = OperationKind(run_.mode);
    // A wrong default would erase or overwrite the boot loader: these two must name it.
    if (run_.section.empty() && kind != OperationKind::Dump)
        return std::string(kModeWords[run_.mode]) + " needs --section NAME" + kSectionsHint;
    const SegmentEntry* section = FindSegment(logic.Segments(), run_.section);
    if (!section && !run_.section.empty()) return NoSectionText(run_.section) + kSectionsHint;
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
    if (error.empty() && !run_.port.empty() && FindPort(surface, run_.port) < 0)
        error = "port " + run_.port + " is not listed";
    if (!error.empty()) {
        exitStatus_ = kBadArgumentStatus;
        return error;
    }
    surface.Select(ui::kIdcMode, run_.mode);
    logic.OnCommand(ui::kIdcMode, ui::Notification::SelectionChanged);
    // The section list shows the layout's sections in their order.
    if (const SegmentEntry* section = FindSegment(logic.Segments(), run_.section);
        section && !run_.section.empty())
        surface.Select(ui::kIdcSection, int(section - logic.Segments().data()));
    if (!run_.port.empty()) surface.Select(ui::kIdcSerialPort, FindPort(surface, run_.port));
    startsBefore_ = logic.OperationsStarted();
    return {};
}

void PressScript::Pressed() {
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
