// The --port argument and the PELORIN_PORT_MAP table behind port numbers.
#pragma once

#include <string>

#include "serial/port_names.h"

namespace pelorin::cli {

// The port number a --port text names: "COMn", a number, or the path (absolute or relative)
// of a character device, given a number through the port name table. 0 with `error` set when
// it names nothing: a path that does not exist or is no device is an argument error.
unsigned ResolvePort(const std::string& text, PortNameTable& names, std::string& error);

// Empty when the variable is unset or every entry reads "NUMBER=DEVICE"; else what is wrong.
std::string CheckPortMapText(const char* text);

}  // namespace pelorin::cli
