// Options of pelorin.
#include "app/app_options.h"

#include <charconv>
#include <cstdio>

#include "config/version.h"

namespace pelorin::app {
namespace {

constexpr const char* kModes[] = {"download", "erase", "dump"};

bool ParseNumber(const std::string& text, double& value) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && value >= 0;
}

bool ParsePace(const std::string& text, double& factor) {
    if (text == "unpaced") {
        factor = 0;
        return true;
    }
    if (text == "realtime") {
        factor = 1;
        return true;
    }
    return ParseNumber(text, factor) && factor > 0;
}

bool ParseMode(const std::string& text, int& mode) {
    for (int i = 0; i < 3; ++i) {
        if (text != kModes[i]) continue;
        mode = i;
        return true;
    }
    return false;
}

bool ParseCrystal(const std::string& text, unsigned& khz) {
    double megahertz = 0;
    if (!ParseNumber(text, megahertz) || megahertz <= 0 || megahertz > 65) return false;
    khz = unsigned(megahertz * 1000.0);
    return true;
}

}  // namespace

bool ParseAppOptions(const std::vector<std::string>& arguments, AppOptions& o, std::string& error) {
    PressRun press;
    bool pressed = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= arguments.size()) return false;
            out = arguments[++i];
            return true;
        };
        std::string v;
        bool ok = true;
        if (arg == "--simulate")
            o.simulate = true;
        else if (arg == "--help" || arg == "-h")
            o.help = true;
        else if (arg == "--version")
            o.version = true;
        else if (arg == "--pace")
            ok = value(v) && ParsePace(v, o.paceFactor);
        else if (arg == "--xtal")
            ok = value(v) && ParseCrystal(v, o.simulatedCrystalKhz);
        else if (arg == "--press")
            ok = pressed = value(v) && ParseMode(v, press.mode);
        else if (arg == "--file")
            ok = value(press.file);
        else if (arg == "--section")
            ok = value(press.section);
        else if (arg == "--port")
            ok = value(press.port) && !press.port.empty();
        else if (arg == "--edit-layout")
            ok = value(o.editLayout.emplace());
        else if (arg == "--restore-layout")
            o.editLayout.emplace();
        else if (arg == "--print-sections")
            o.printSections = true;
        else {
            error = "unknown option " + arg + " (see: pelorin --help)";
            return false;
        }
        if (!ok) {
            error = "bad or missing value for " + arg + " (see: pelorin --help)";
            return false;
        }
    }
    if (pressed) o.press = press;
    return true;
}

std::string AppUsage() {
    return "Usage: pelorin [--simulate [--pace FACTOR] [--xtal MHZ]]\n"
           "\n"
           "Loads firmware into the flash of set-top-box boards over a serial line, erases it or\n"
           "reads it back, from one window.\n"
           "\n"
           "  --simulate      list a simulated board as one more serial port, to try a\n"
           "                  Download, Erase or Dump without hardware\n"
           "  --pace FACTOR   its line speed: realtime, unpaced, or a factor over 115200 baud\n"
           "                  (default 8)\n"
           "  --xtal MHZ      its crystal (default 27); choose the same in the window\n"
           "  --version       print the version and end\n"
           "\n"
           "Test mode (for scripts): --press download|erase|dump [--file PATH] [--section NAME]\n"
           "[--port PORT] chooses PORT in the port list (its name as listed, e.g. COM3), presses\n"
           "the operation button after start-up, answers the file dialog with PATH and\n"
           "message boxes with OK, prints the final status line and ends; exit status 0 after\n"
           "\"Mission completed\".\n"
           "--edit-layout FILE unlocks the layout editor, puts FILE's text into it and saves it;\n"
           "--restore-layout restores the built-in layout; both end the program as the editor\n"
           "does, leaving the layout helper to rewrite the program file. --print-sections prints\n"
           "the section list and ends.\n";
}

std::optional<int> ReadOptions(int argc, char** argv, AppOptions& options) {
    const std::vector<std::string> arguments(argv, argv + argc);
    std::string error;
    if (!ParseAppOptions(arguments, options, error)) {
        std::fprintf(stderr, "pelorin: %s\n", error.c_str());
        return 2;
    }
    if (options.help) std::fputs(AppUsage().c_str(), stdout);
    if (options.version) std::printf("pelorin %s\n", GetVersionText().c_str());
    if (options.help || options.version) return 0;
    return std::nullopt;
}

}  // namespace pelorin::app
