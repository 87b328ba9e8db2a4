// The serial ports present, for the window's and the command line's port lists: names "COMn"
// with the device behind each.
#pragma once

#include <string>
#include <vector>

#include "serial/port_names.h"

namespace pelorin {

struct SerialPortInfo {
    unsigned number = 0;
    std::string name;         // "COM33"
    std::string devicePath;   // "/dev/ttyUSB0"
    std::string description;  // what to show beside the name: device, product, vendor
};

// Where the listers look; tests point them at a fake tree or key.
struct PortEnumSources {
    std::string sysClassTty = "/sys/class/tty";
    std::string devDir = "/dev";
    // Windows: the key below HKEY_LOCAL_MACHINE that lists the serial devices present.
    std::string registryKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
};

// The ports present, by ascending number: devices of the fixed ranges that exist (UARTs only
// when the driver found one), then every explicitly numbered device that exists. When the
// system's list cannot be read at all, COM1..COM10 (kFallbackPortCount) stand in for it, followed
// by the explicit entries. Opens no port. On Windows the system's ports come in the registry's
// order, names of at most five characters (COM1..COM99), as the system lists them.
std::vector<SerialPortInfo> ListSerialPorts(const PortNameTable& names,
                                            const PortEnumSources& sources = {});

// The ports listed, COM1 upwards, when the system's list cannot be read.
inline constexpr unsigned kFallbackPortCount = 10;

// One entry of the list: the name "COMn" of `number`, with `devicePath` and `description`.
SerialPortInfo MakePortInfo(unsigned number, std::string devicePath, std::string description);

}  // namespace pelorin
