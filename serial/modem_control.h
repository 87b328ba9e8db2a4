// The calls that change a port's modem lines, behind one seam: boards wire DTR and RTS to reset
// and boot pins, so every touch of them goes through here, where a test can record it.
// The platform's calls live in modem_control_posix.cpp and modem_control_win32.cpp.
#pragma once

#include <cstdint>

namespace pelorin {

// An open device as the platform names it: a descriptor on POSIX, a HANDLE on Windows.
using NativeDevice = intptr_t;

// Lines for IModemControl::SetLines.
inline constexpr unsigned kModemDtr = 0x1;
inline constexpr unsigned kModemRts = 0x2;

class IModemControl {
  public:
    virtual ~IModemControl() = default;
    // Raises (`on`) or drops the lines named in `lines` now. 0, or the system's error number
    // (devices without modem lines, such as pseudo-terminals, refuse).
    virtual int SetLines(NativeDevice device, unsigned lines, bool on) = 0;
    // Whether the device's last close drops DTR and RTS. 0, or the system's error number.
    virtual int SetDropOnClose(NativeDevice device, bool drop) = 0;
};

// The platform's own calls; lives for the whole program.
IModemControl& SystemModemControl();

}  // namespace pelorin
