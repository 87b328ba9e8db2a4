// The window program without a window.
#include "app/headless.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "config/ini_reader.h"
#include "config/layout_file.h"
#include "config/layout_handover.h"
#include "config/segment_table.h"

namespace pelorin::app {
namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

std::filesystem::path RunningProgramPath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
}

int PrintSections(const std::filesystem::path& programPath) {
    if (LayoutEditPending(programPath.parent_path()))
        std::fprintf(stderr, "pelorin: %s\n", kLayoutEditPendingText);
    const IniText layout(LayoutTextOf(programPath));
    for (const SegmentEntry& entry : LoadSegmentTable(layout))
        std::printf("%s\n", entry.name.c_str());
    return 0;
}

// A platform named outright (offscreen, a Wayland or X display) is the toolkit's to check.
std::optional<std::string> MissingDisplay() {
    if (Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY")) return std::nullopt;
    return "neither DISPLAY nor WAYLAND_DISPLAY is set: start it in a desktop session, or use "
           "pelorin-cli on a terminal";
}

}  // namespace pelorin::app
