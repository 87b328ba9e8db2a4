// The window program's command line, the same on Linux and Windows (no toolkit here).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelorin::app {

// Test mode: after start-up, press the operation button of `mode` through the event queue,
// answer file dialogs with `file`, print the final status line and end.
struct PressRun {
    int mode = 0;  // 0 Download, 1 Erase, 2 Dump
    std::string file;
    std::string section;
    std::string port;             // the port to choose by name ("COM3"); empty: the saved choice
    unsigned limitSeconds = 120;  // a run that takes longer fails
};

struct AppOptions {
    bool simulate = false;
    double paceFactor = 8.0;
    unsigned simulatedCrystalKhz = 27000;
    std::optional<PressRun> press;
    // Test modes of the configuration editor: save this file's text, or restore ("" given).
    std::optional<std::string> editLayout;
    bool printSections = false;  // print the section list after start-up and end
    bool help = false;
    bool version = false;
};

// Fills `options`; false with `error` set on a bad option.
// `arguments` holds the program's name first.
bool ParseAppOptions(const std::vector<std::string>& arguments, AppOptions& options,
                     std::string& error);
std::string AppUsage();
// Reads the command line before any window exists: prints the usage, the version or what is
// wrong, and returns the exit status when the program ends here.
std::optional<int> ReadOptions(int argc, char** argv, AppOptions& options);

}  // namespace pelorin::app
