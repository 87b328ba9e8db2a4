// Parser of the line-settings text.
#include "serial/line_settings.h"

#include <cctype>
#include <string>
#include <vector>

#include "base/trim.h"

namespace pelorin {
namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t comma = text.find(',');
        fields.push_back(Trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

bool ParseBaud(std::string_view field, uint32_t& baud) {
    if (field.empty() || field.size() > 9) return false;
    uint32_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (field.size() == 2) {
        // The short forms the Windows parser inherited from the MODE command.
        static constexpr struct {
            uint32_t abbreviation, baud;
        } kShort[] = {{11, 110},  {15, 150},  {30, 300},  {60, 600},  {12, 1200},
                      {24, 2400}, {48, 4800}, {96, 9600}, {19, 19200}};
        for (const auto& entry : kShort)
            if (entry.abbreviation == value) value = entry.baud;
    }
    if (value == 0) return false;
    baud = value;
    return true;
}

}  // namespace

bool ParseLineSettings(std::string_view text, LineSettings& settings) {
    const std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() > 5 || fields[0].empty()) return false;

    LineSettings parsed = settings;
    if (!ParseBaud(fields[0], parsed.baud)) return false;

    if (fields.size() > 1 && !fields[1].empty()) {
        if (fields[1].size() != 1) return false;
        const char p = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
        if (p != 'n' && p != 'e' && p != 'o' && p != 'm' && p != 's') return false;
        parsed.parity = p;
    }
    if (fields.size() > 2 && !fields[2].empty()) {
        if (fields[2].size() != 1 || fields[2][0] < '5' || fields[2][0] > '8') return false;
        parsed.dataBits = static_cast<uint8_t>(fields[2][0] - '0');
    }
    if (fields.size() > 3 && !fields[3].empty()) {
        if (fields[3] == "1")
            parsed.stopHalves = 2;
        else if (fields[3] == "1.5")
            parsed.stopHalves = 3;
        else if (fields[3] == "2")
            parsed.stopHalves = 4;
        else
            return false;
    }
    if (fields.size() > 4 && !fields[4].empty()) {
        if (fields[4].size() != 1) return false;
        const char f = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[4][0])));
        if (f != 'x' && f != 'p') return false;
    }
    settings = parsed;
    return true;
}

}  // namespace pelorin
