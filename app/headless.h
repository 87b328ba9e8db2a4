// What the window program does without a window: the section list, and the check that there is
// a display to open one on. No toolkit is touched, so neither needs a display.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelorin::app {

// The program file of the running process.
std::filesystem::path RunningProgramPath();
// Prints the names of the sections the layout carried by `programPath` defines, one a line,
// as the window lists them; returns the exit status.
int PrintSections(const std::filesystem::path& programPath);
// Why no window can be shown here (no display named in the environment); none when one can.
std::optional<std::string> MissingDisplay();

}  // namespace pelorin::app
