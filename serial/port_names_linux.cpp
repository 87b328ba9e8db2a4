// The fixed port names on Linux: COM1-COM32 are /dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31,
// COM65-COM96 /dev/ttyACM0-31.
#include "serial/port_names.h"

namespace pelorin {
namespace {

struct FixedRange {
    unsigned first;  // port number of device index 0
    std::string_view prefix;
};
constexpr FixedRange kFixedRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
constexpr unsigned kDevicesPerRange = 32;

}  // namespace

std::string FixedDevicePath(unsigned number) {
    for (const FixedRange& range : kFixedRanges)
        if (number >= range.first && number < range.first + kDevicesPerRange)
            return std::string(range.prefix) + std::to_string(number - range.first);
    return {};
}

unsigned FixedPortNumber(std::string_view devicePath) {
    for (const FixedRange& range : kFixedRanges) {
        if (devicePath.substr(0, range.prefix.size()) != range.prefix) continue;
        const std::string_view index = devicePath.substr(range.prefix.size());
        if (index == "0") return range.first;
        const unsigned n = ParsePortDigits(index);
        if (n > 0 && n < kDevicesPerRange) return range.first + n;
    }
    return 0;
}

}  // namespace pelorin
