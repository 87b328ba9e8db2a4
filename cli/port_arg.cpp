// Port arguments of the command line.
#include "cli/port_arg.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/trim.h"

namespace pelorin::cli {
namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

}  // namespace

unsigned ResolvePort(const std::string& text, PortNameTable& names, std::string& error) {
    std::string digits = text;
    if (text.size() > 3 && (text.compare(0, 3, "COM") == 0 || text.compare(0, 3, "com") == 0))
        digits = text.substr(3);
    if (AllDigits(digits) && digits.size() <= 5) {
        const unsigned number = unsigned(std::stoul(digits));
        if (number >= kMinPortNumber && number <= kMaxPortNumber) return number;
        error = "port number " + digits + " is outside 1..1024";
        return 0;
    }
    // Any other text is a device's path, relative or absolute, and must name a serial device
    // now: a typo must not become a new port number that then fails to open.
    const std::string kinds = " (--port takes COMn, a number, or a serial device)";
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(text, ec);
    if (!std::filesystem::exists(status)) {
        error =
            "port " + text +
            (status.type() == std::filesystem::file_type::not_found || !ec ? " does not exist"
                                                                           : ": " + ec.message()) +
            kinds;
        return 0;
    }
    if (!std::filesystem::is_character_file(status)) {
        error = "port " + text + " is not a serial device" + kinds;
        return 0;
    }
    const std::string path = text.front() == '/'
                                 ? text
                                 : std::filesystem::absolute(text, ec).lexically_normal().string();
    if (unsigned number = names.NumberFor(path)) return number;
    error = "no free port number for " + text;
    return 0;
}

std::string CheckPortMapText(const char* text) {
    if (!text) return {};
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        const std::string_view entry = Trim(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (entry.empty()) continue;
        const size_t eq = entry.find('=');
        const std::string_view number =
            eq == std::string_view::npos ? entry : Trim(entry.substr(0, eq));
        const bool ok = eq != std::string_view::npos && AllDigits(number) && number.size() <= 4 &&
                        std::stoul(std::string(number)) >= kMinPortNumber &&
                        std::stoul(std::string(number)) <= kMaxPortNumber &&
                        !Trim(entry.substr(eq + 1)).empty();
        if (!ok)
            return std::string(kPortMapVariable) + ": malformed entry '" + std::string(entry) +
                   "' (expected NUMBER=DEVICE with NUMBER in 1..1024, entries separated by ';')";
    }
    return {};
}

}  // namespace pelorin::cli
