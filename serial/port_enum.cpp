// The port list as text, shared by every platform's lister.
#include "serial/port_enum.h"

namespace pelorin {

inline constexpr unsigned kFallbackPortCount = 10;

std::string PortListText(const std::vector<SerialPortInfo>& ports) {
    std::string text;
    for (const SerialPortInfo& port : ports) text += port.name + ";";
    return text;
}

std::string EnumSerialPorts(const PortNameTable& names) {
    return PortListText(ListSerialPorts(names));
}

std::string FallbackPortListText() {
    std::string text;
    for (unsigned n = 1; n <= kFallbackPortCount; ++n) text += "COM" + std::to_string(n) + ";";
    return text;
}

}  // namespace pelorin
