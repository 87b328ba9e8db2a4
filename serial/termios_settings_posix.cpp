// The termios mapping of the line settings.
#include "serial/termios_settings.h"

namespace pelorin {
namespace {

struct BaudRate {
    uint32_t baud;
    speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
#ifdef B4000000
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

bool SpeedOf(uint32_t baud, speed_t& speed) {
    for (const BaudRate& rate : kBaudRates)
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    return false;
}

uint32_t BaudOf(speed_t speed) {
    for (const BaudRate& rate : kBaudRates)
        if (rate.speed == speed) return rate.baud;
    return 9600;
}

}  // namespace

LineSettings LineSettingsOf(const termios& tio) {
    LineSettings s;
    s.baud = BaudOf(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if (!(tio.c_cflag & PARENB)) s.parity = 'n';
#ifdef CMSPAR
    else if (tio.c_cflag & CMSPAR)
        s.parity = (tio.c_cflag & PARODD) ? 'm' : 's';
#endif
    else
        s.parity = (tio.c_cflag & PARODD) ? 'o' : 'e';
    if (tio.c_cflag & CSTOPB) s.stopHalves = s.dataBits == 5 ? 3 : 4;
    return s;
}

void MakeRawTermios(termios& tio) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

bool ApplyLineSettings(const LineSettings& s, termios& tio) {
    speed_t speed;
    if (!SpeedOf(s.baud, speed)) return false;
    if (s.stopHalves == 3 && s.dataBits != 5) return false;
    if (s.stopHalves == 4 && s.dataBits == 5) return false;

    MakeRawTermios(tio);
    tcflag_t cflag = tio.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    cflag |= kSizes[s.dataBits - 5];
    switch (s.parity) {
        case 'e':
            cflag |= PARENB;
            break;
        case 'o':
            cflag |= PARENB | PARODD;
            break;
#ifdef CMSPAR
        case 'm':
            cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 's':
            cflag |= PARENB | CMSPAR;
            break;
#else
        case 'm':
        case 's':
            return false;
#endif
        default:
            break;
    }
    if (s.stopHalves != 2) cflag |= CSTOPB;
    tio.c_cflag = cflag;
    return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0;
}

}  // namespace pelorin
