// The termios mapping of the line settings, without a device: the fields a text sets, the raw
// mode around them, the combinations refused, and the way back for fields a text leaves out.
#include <termios.h>

#include <tuple>

#include <gtest/gtest.h>

#include "serial/termios_settings.h"

namespace pelorin {
namespace {

auto Fields(const LineSettings& s) {
    return std::make_tuple(s.baud, s.parity, int(s.dataBits), int(s.stopHalves));
}

TEST(TermiosSettingsTest, MapsEveryFieldRawAndBack) {
    const LineSettings cases[] = {{115200, 'n', 8, 2},
                                  {19200, 'e', 7, 4},
                                  {110, 'o', 5, 3},
                                  {9600, 'm', 8, 2},
                                  {50, 's', 6, 4}};
    for (const LineSettings& settings : cases) {
        termios tio{};
        tio.c_lflag = ICANON | ECHO;
        tio.c_iflag = IXON | ICRNL;
        tio.c_cc[VMIN] = 1;
        ASSERT_TRUE(ApplyLineSettings(settings, tio)) << settings.baud;
        EXPECT_EQ(Fields(LineSettingsOf(tio)), Fields(settings));
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_cc[VMIN], 0);
        EXPECT_EQ(cfgetispeed(&tio), cfgetospeed(&tio));
    }
    termios tio{};
    ASSERT_TRUE(ApplyLineSettings({19200, 'e', 7, 4}, tio));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), tcflag_t{CS7 | PARENB | CSTOPB});
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B19200});
    // A speed without a constant reads back as 9600.
    cfsetospeed(&tio, B0);
    EXPECT_EQ(LineSettingsOf(tio).baud, 9600u);
}

TEST(TermiosSettingsTest, RefusesWhatAUartCannotDo) {
    for (const LineSettings& settings :
         {LineSettings{14400, 'n', 8, 2}, LineSettings{9600, 'n', 8, 3},
          LineSettings{9600, 'n', 5, 4}}) {
        termios tio{};
        EXPECT_FALSE(ApplyLineSettings(settings, tio))
            << settings.baud << " " << int(settings.dataBits) << " " << int(settings.stopHalves);
    }
}

}  // namespace
}  // namespace pelorin
