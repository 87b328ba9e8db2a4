// The names of a port list as one text, "COM1;COM33;", to compare whole lists at a glance.
#pragma once

#include <string>
#include <vector>

#include "serial/port_enum.h"

namespace pelorin {

inline std::string PortListNames(const std::vector<SerialPortInfo>& ports) {
    std::string text;
    for (const SerialPortInfo& port : ports) text += port.name + ";";
    return text;
}

}  // namespace pelorin
