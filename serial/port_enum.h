// The serial ports present, for the window's port list: names "COMn" with the device behind
// each, and the list as one text "COM1;COM33;" as the window's initialisation takes it.
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
// system's list cannot be read at all, COM1..COM10 stand in for it, followed by the explicit
// entries. Opens no port. On Windows the system's ports come in the registry's order, names
// of at most five characters (COM1..COM99), as the system lists them.
std::vector<SerialPortInfo> ListSerialPorts(const PortNameTable& names,
                                            const PortEnumSources& sources = {});

// The names of `ports` as one text, each followed by ';'.
std::string PortListText(const std::vector<SerialPortInfo>& ports);

// PortListText(ListSerialPorts(names)).
std::string EnumSerialPorts(const PortNameTable& names);

// The list used when no source can be read: COM1; to COM10;
std::string FallbackPortListText();

}  // namespace pelorin
