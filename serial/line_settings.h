// The line-settings text "baud,parity,data,stop" (as in "115200,n,8,1") and its parser.
// Portable: each platform maps the parsed fields onto its own device settings.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelorin {

struct LineSettings {
    uint32_t baud = 9600;
    char parity = 'n';       // n, e, o, m (mark) or s (space)
    uint8_t dataBits = 8;    // 5..8
    uint8_t stopHalves = 2;  // stop bits times two: 2 (1), 3 (1.5) or 4 (2)
};

// Parses "baud[,parity[,data[,stop[,flow]]]]" into `settings`, the way the Windows
// device-control-string parser reads it: fields are case-insensitive, may carry spaces, and a
// field left out or empty keeps the value already in `settings`. The two-digit baud
// abbreviations 11, 15, 30, 60, 12, 24, 48, 96 and 19 stand for 110 ... 19200. The flow letter
// (x or p) is accepted and ignored: the port never uses flow control. False, with `settings`
// unchanged, when the text is malformed.
bool ParseLineSettings(std::string_view text, LineSettings& settings);

}  // namespace pelorin
