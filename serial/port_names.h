// Port numbers (COM1..COM1024) and the devices they name. Fixed ranges cover the usual Linux
// devices; any other device (a pseudo-terminal, a /dev/serial/by-id link, /dev/ttyAMA0) gets a
// number explicitly, through PortNameTable or the environment variable PELORIN_PORT_MAP.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelorin {

inline constexpr unsigned kMinPortNumber = 1;
inline constexpr unsigned kMaxPortNumber = 1024;
// First number outside the fixed ranges; NumberFor hands out numbers from here up.
inline constexpr unsigned kFirstFreePortNumber = 97;

// Environment variable read by LoadPortMapFromEnvironment(): entries "number=path" separated by
// ';', for example "40=/dev/pts/3;41=/tmp/simlink". Malformed entries are skipped.
inline constexpr const char* kPortMapVariable = "PELORIN_PORT_MAP";

// The fixed ranges: COM1-COM32 are /dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31, COM65-COM96
// /dev/ttyACM0-31. Empty for any other number. On Windows every number n is \\.\COMn.
std::string FixedDevicePath(unsigned number);
// A port number written in decimal without sign or leading zeros; 0 for anything else.
unsigned ParsePortDigits(std::string_view s);
// The reverse of FixedDevicePath; 0 when the path is outside the fixed ranges.
unsigned FixedPortNumber(std::string_view devicePath);

// Explicit numbers, which take precedence over the fixed ranges. Thread-safe.
class PortNameTable {
  public:
    // Binds `number` to `devicePath`; false if the number is outside 1..1024 or the path empty.
    bool Assign(unsigned number, std::string devicePath);
    void Remove(unsigned number);
    void Clear();

    // The device a number names: the explicit entry, else the fixed range, else empty.
    std::string DevicePath(unsigned number) const;

    // The number of a device path: its explicit entry, else its fixed number, else a new
    // explicit entry with the lowest free number from kFirstFreePortNumber. 0 when none is free.
    unsigned NumberFor(std::string_view devicePath);

    // Adds the entries of a PELORIN_PORT_MAP text; returns how many it took.
    size_t LoadText(std::string_view text);

    std::vector<std::pair<unsigned, std::string>> ExplicitEntries() const;

  private:
    mutable std::mutex mutex_;
    std::map<unsigned, std::string> explicit_;
};

// Loads PELORIN_PORT_MAP, if set, into `table`; returns the number of entries taken.
size_t LoadPortMapFromEnvironment(PortNameTable& table);

}  // namespace pelorin
