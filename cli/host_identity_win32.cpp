// Host and adapter identity on Windows: the computer's name; the adapter behind a COM port is
// not looked up.
#include <windows.h>

#include "cli/host_identity.h"

namespace pelorin::cli {

std::string HostName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return {};
    return std::string(name, size);
}

AdapterIdentity AdapterOf(const std::string&) {
    return {};
}

}  // namespace pelorin::cli
