// Devices served inside this process, listed by a path that names no device of the system (the
// simulated board of the window program on Windows, where no pseudo-terminal exists). A port
// opened on such a path is the registered device's; every other path is the system's port.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace pelorin {

// The path prefix of local devices, chosen so no system device can have it.
inline constexpr const char* kLocalDevicePrefix = "local:";

// Registers `port` under `path` (which should start with kLocalDevicePrefix) until the returned
// handle is destroyed. The port must outlive the handle; it is used by one owner at a time.
class LocalDeviceRegistration {
  public:
    LocalDeviceRegistration(std::string path, ISerialPort& port);
    ~LocalDeviceRegistration();
    LocalDeviceRegistration(const LocalDeviceRegistration&) = delete;
    LocalDeviceRegistration& operator=(const LocalDeviceRegistration&) = delete;

  private:
    std::string path_;
};

// The port a new Board owns: the system's port (cnComm on `names`) when no local device is
// registered, else one that opens local devices by their path and the system's port otherwise.
std::unique_ptr<ISerialPort> MakeBoardPort(PortNameTable& names);
class cnComm;
// The system's port inside a port MakeBoardPort made (for its last error); null for any other.
const cnComm* BoardSystemPort(const ISerialPort& port);

}  // namespace pelorin
