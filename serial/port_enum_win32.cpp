// Serial port discovery on Windows: the names the system keeps under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, described with the device manager's friendly names.
#include <windows.h>
// windows.h first: the device installer's header needs its types.
#include <devguid.h>
#include <setupapi.h>

#include <map>
#include <vector>

#include "serial/port_enum.h"

namespace pelorin {
namespace {

// The system's own list keeps names in a six-byte buffer: five characters and the zero.
constexpr DWORD kPortNameBytes = 6;

// "COM3" -> 3; 0 for names that are not COM followed by a port number.
unsigned NumberOfName(const std::string& name) {
    if (name.size() < 4 || name.size() > 7 || _strnicmp(name.c_str(), "COM", 3) != 0) return 0;
    unsigned n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return n >= kMinPortNumber && n <= kMaxPortNumber ? n : 0;
}

// Port name -> what the device manager calls the device ("USB Serial Port (COM5)").
std::map<std::string, std::string> FriendlyNames() {
    std::map<std::string, std::string> names;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        HKEY key =
            SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE) continue;
        char portName[64] = {};
        DWORD size = sizeof portName - 1;
        DWORD type = 0;
        const bool named =
            RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named) continue;
        char friendly[256] = {};
        if (SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(friendly),
                                              sizeof friendly - 1, nullptr))
            names[portName] = friendly;
    }
    SetupDiDestroyDeviceInfoList(set);
    return names;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const PortNameTable& names,
                                            const PortEnumSources& sources) {
    std::vector<SerialPortInfo> ports;
    const auto explicitEntries = names.ExplicitEntries();
    auto isExplicit = [&](unsigned n) {
        for (const auto& entry : explicitEntries)
            if (entry.first == n) return true;
        return false;
    };

    HKEY key = nullptr;
    DWORD valueCount = 0;
    DWORD longestName = 0;
    bool listed = RegOpenKeyExA(HKEY_LOCAL_MACHINE, sources.registryKey.c_str(), 0, KEY_QUERY_VALUE,
                                &key) == ERROR_SUCCESS;
    if (listed &&
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                         &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        listed = false;
    if (listed) {
        const auto friendly = FriendlyNames();
        std::vector<char> valueName(longestName + 1);
        // In the registry's order, duplicates and all, as the system lists them.
        for (DWORD i = 0; i < valueCount; ++i) {
            DWORD nameLength = static_cast<DWORD>(valueName.size());
            char data[kPortNameBytes] = {};
            DWORD dataBytes = sizeof data;
            DWORD type = 0;
            if (RegEnumValueA(key, i, valueName.data(), &nameLength, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &dataBytes) != ERROR_SUCCESS ||
                type != REG_SZ)
                continue;
            data[kPortNameBytes - 1] = '\0';
            const std::string portName = data;
            const unsigned number = NumberOfName(portName);
            // A number bound explicitly to another device no longer reaches this one.
            if (number == 0 || isExplicit(number)) continue;
            const std::string device(valueName.data(), nameLength);
            const auto f = friendly.find(portName);
            ports.push_back(
                MakePortInfo(number, "\\\\.\\" + portName,
                             f != friendly.end() ? device + " - " + f->second : device));
        }
    } else {
        for (unsigned n = 1; n <= kFallbackPortCount; ++n)
            if (!isExplicit(n))
                ports.push_back(MakePortInfo(n, "\\\\.\\COM" + std::to_string(n), "not detected"));
    }
    if (key) RegCloseKey(key);

    for (const auto& [number, path] : explicitEntries)
        ports.push_back(MakePortInfo(number, path, path));
    return ports;
}

}  // namespace pelorin
