// Modem lines on POSIX terminals: TIOCMBIS/TIOCMBIC for DTR and RTS, HUPCL for what a close does.
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "serial/modem_control.h"

namespace pelorin {
namespace {

class PosixModemControl final : public IModemControl {
  public:
    int SetLines(NativeDevice device, unsigned lines, bool on) override {
        int bits = 0;
        if (lines & kModemDtr) bits |= TIOCM_DTR;
        if (lines & kModemRts) bits |= TIOCM_RTS;
        if (bits == 0) return 0;
        return ::ioctl(static_cast<int>(device), on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
    }

    int SetDropOnClose(NativeDevice device, bool drop) override {
        const int fd = static_cast<int>(device);
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0) return errno;
        if (((tio.c_cflag & HUPCL) != 0) == drop) return 0;
        if (drop)
            tio.c_cflag |= HUPCL;
        else
            tio.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
        return ::tcsetattr(fd, TCSANOW, &tio) == 0 ? 0 : errno;
    }
};

}  // namespace

IModemControl& SystemModemControl() {
    static PosixModemControl control;
    return control;
}

}  // namespace pelorin
