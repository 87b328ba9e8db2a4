// The fixed port names on Windows: every number is the system's COM port of that number,
// opened as \\.\COMn (the form that reaches COM10 and above too).
#include "serial/port_names.h"

namespace pelorin {

std::string FixedDevicePath(unsigned number) {
    if (number < kMinPortNumber || number > kMaxPortNumber) return {};
    return "\\\\.\\COM" + std::to_string(number);
}

unsigned FixedPortNumber(std::string_view devicePath) {
    std::string_view name = devicePath;
    if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
    if (name.size() < 4 || name.size() > 7 ||
        (name.substr(0, 3) != "COM" && name.substr(0, 3) != "com"))
        return 0;
    name.remove_prefix(3);
    if (name[0] == '0') return 0;
    unsigned n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n >= kMinPortNumber && n <= kMaxPortNumber ? n : 0;
}

}  // namespace pelorin
