// What a log row needs to trace a board to the place it was flashed: the computer's name and
// the USB adapter behind a port. One file per platform implements it.
#pragma once

#include <string>

namespace pelorin::cli {

// The computer's host name; empty when the system does not say.
std::string HostName();

struct AdapterIdentity {
    std::string serial;  // the USB device's serial number
    std::string byId;    // a stable path that names the adapter, not the order it came in
};
// The adapter behind a serial device path, as far as the system tells it; empty fields where
// it does not (a pseudo-terminal, a built-in port).
AdapterIdentity AdapterOf(const std::string& device);

}  // namespace pelorin::cli
