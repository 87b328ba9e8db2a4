// What every platform's lister shares.
#include "serial/port_enum.h"

#include <utility>

namespace pelorin {

SerialPortInfo MakePortInfo(unsigned number, std::string devicePath, std::string description) {
    SerialPortInfo info;
    info.number = number;
    info.name = "COM" + std::to_string(number);
    info.devicePath = std::move(devicePath);
    info.description = std::move(description);
    return info;
}

}  // namespace pelorin
