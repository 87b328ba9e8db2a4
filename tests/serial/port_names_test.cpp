// Port numbers and the devices they name.
#include <cstdlib>

#include <gtest/gtest.h>

#include "serial/port_names.h"

namespace pelorin {
namespace {

TEST(PortNamesTest, FixedRangesMapBothWays) {
    EXPECT_EQ(FixedDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(FixedDevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(FixedDevicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(FixedDevicePath(64), "/dev/ttyUSB31");
    EXPECT_EQ(FixedDevicePath(65), "/dev/ttyACM0");
    EXPECT_EQ(FixedDevicePath(96), "/dev/ttyACM31");
    EXPECT_EQ(FixedDevicePath(0), "");
    EXPECT_EQ(FixedDevicePath(97), "");
    EXPECT_EQ(FixedDevicePath(1024), "");

    EXPECT_EQ(FixedPortNumber("/dev/ttyS0"), 1u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyS31"), 32u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyUSB0"), 33u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyACM31"), 96u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyS32"), 0u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyS01"), 0u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyS"), 0u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyAMA0"), 0u);
    EXPECT_EQ(FixedPortNumber("/dev/ttyUSB1x"), 0u);
    for (unsigned n = 1; n <= 96; ++n) EXPECT_EQ(FixedPortNumber(FixedDevicePath(n)), n);
}

TEST(PortNamesTest, ExplicitNumbersOverrideAndAreHandedOut) {
    PortNameTable table;
    EXPECT_FALSE(table.Assign(0, "/dev/pts/1"));
    EXPECT_FALSE(table.Assign(1025, "/dev/pts/1"));
    EXPECT_FALSE(table.Assign(5, ""));
    EXPECT_TRUE(table.Assign(1, "/dev/ttyAMA0"));
    EXPECT_EQ(table.DevicePath(1), "/dev/ttyAMA0");
    EXPECT_EQ(table.DevicePath(2), "/dev/ttyS1");

    // A path gets its explicit number, its fixed number, or the first free one.
    EXPECT_EQ(table.NumberFor("/dev/ttyAMA0"), 1u);
    EXPECT_EQ(table.NumberFor("/dev/ttyUSB2"), 35u);
    EXPECT_EQ(table.NumberFor("/dev/ttyS0"), kFirstFreePortNumber);  // COM1 is taken
    EXPECT_EQ(table.NumberFor("/dev/pts/7"), kFirstFreePortNumber + 1);
    EXPECT_EQ(table.NumberFor("/dev/pts/7"), kFirstFreePortNumber + 1);
    EXPECT_EQ(table.DevicePath(kFirstFreePortNumber + 1), "/dev/pts/7");
    EXPECT_EQ(table.NumberFor(""), 0u);

    table.Remove(1);
    EXPECT_EQ(table.DevicePath(1), "/dev/ttyS0");
    table.Clear();
    EXPECT_TRUE(table.ExplicitEntries().empty());
}

TEST(PortNamesTest, MapTextAndEnvironment) {
    PortNameTable table;
    EXPECT_EQ(
        table.LoadText(" 40=/dev/pts/3 ;41=/tmp/sim link;;bad;0=/x;1025=/y;42=;07=/z;1024=/w"), 3u);
    EXPECT_EQ(table.DevicePath(40), "/dev/pts/3");
    EXPECT_EQ(table.DevicePath(41), "/tmp/sim link");
    EXPECT_EQ(table.DevicePath(1024), "/w");
    EXPECT_EQ(table.DevicePath(7), "/dev/ttyS6");

    ::setenv(kPortMapVariable, "200=/dev/pts/9", 1);
    PortNameTable fromEnv;
    EXPECT_EQ(LoadPortMapFromEnvironment(fromEnv), 1u);
    EXPECT_EQ(fromEnv.DevicePath(200), "/dev/pts/9");
    ::unsetenv(kPortMapVariable);
    PortNameTable none;
    EXPECT_EQ(LoadPortMapFromEnvironment(none), 0u);
}

}  // namespace
}  // namespace pelorin
