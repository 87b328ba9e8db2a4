// Modem lines on Windows: EscapeCommFunction for DTR and RTS. With DTR_CONTROL_DISABLE and
// RTS_CONTROL_DISABLE in the device-control block, a close leaves both lines where they are.
#include <windows.h>

#include "serial/modem_control.h"

namespace pelorin {
namespace {

class Win32ModemControl final : public IModemControl {
  public:
    int SetLines(NativeDevice device, unsigned lines, bool on) override {
        const HANDLE h = reinterpret_cast<HANDLE>(device);
        if ((lines & kModemDtr) && !EscapeCommFunction(h, on ? SETDTR : CLRDTR))
            return static_cast<int>(GetLastError());
        if ((lines & kModemRts) && !EscapeCommFunction(h, on ? SETRTS : CLRRTS))
            return static_cast<int>(GetLastError());
        return 0;
    }

    int SetDropOnClose(NativeDevice device, bool drop) override {
        // The driver decides what a close does to the lines; nothing to set per handle.
        (void)device;
        (void)drop;
        return 0;
    }
};

}  // namespace

IModemControl& SystemModemControl() {
    static Win32ModemControl control;
    return control;
}

}  // namespace pelorin
