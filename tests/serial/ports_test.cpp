// Ports by number: the device paths of port numbers, the explicit port map, and discovery
// over a fake sysfs tree.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <gtest/gtest.h>

#include "serial/port_enum.h"
#include "serial/port_names.h"
#include "tests/serial/port_list_names.h"

namespace pelorin {
namespace {

TEST(PortNamesTest, FixedRangesMapBothWays) {
    for (unsigned n = 1; n <= 96; ++n) EXPECT_EQ(FixedPortNumber(FixedDevicePath(n)), n);
    const std::pair<unsigned, const char*> edges[] = {{1, "/dev/ttyS0"},
                                                      {32, "/dev/ttyS31"},
                                                      {33, "/dev/ttyUSB0"},
                                                      {64, "/dev/ttyUSB31"},
                                                      {65, "/dev/ttyACM0"},
                                                      {96, "/dev/ttyACM31"},
                                                      {0, ""},
                                                      {97, ""},
                                                      {1024, ""}};
    for (const auto& [number, path] : edges) EXPECT_EQ(FixedDevicePath(number), path) << number;
    for (const char* path :
         {"/dev/ttyS32", "/dev/ttyS01", "/dev/ttyS", "/dev/ttyAMA0", "/dev/ttyUSB1x"})
        EXPECT_EQ(FixedPortNumber(path), 0u) << path;
}

TEST(PortNamesTest, ExplicitNumbersOverrideAndAreHandedOut) {
    PortNameTable table;
    EXPECT_FALSE(table.Assign(0, "/dev/pts/1"));
    EXPECT_FALSE(table.Assign(1025, "/dev/pts/1"));
    EXPECT_FALSE(table.Assign(5, ""));
    EXPECT_TRUE(table.Assign(1, "/dev/ttyAMA0"));
    EXPECT_EQ(table.DevicePath(1), "/dev/ttyAMA0");
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

    // The map text: malformed entries and numbers out of range are skipped.
    PortNameTable map;
    EXPECT_EQ(map.LoadText(" 40=/dev/pts/3 ;41=/tmp/sim link;;bad;0=/x;1025=/y;42=;07=/z;1024=/w"),
              3u);
    EXPECT_EQ(map.DevicePath(40), "/dev/pts/3");
    EXPECT_EQ(map.DevicePath(41), "/tmp/sim link");
    EXPECT_EQ(map.DevicePath(1024), "/w");
    EXPECT_EQ(map.DevicePath(7), "/dev/ttyS6");
}

namespace fs = std::filesystem;

class PortEnumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelorin-enum-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        sources.sysClassTty = (root / "sys/class/tty").string();
        sources.devDir = (root / "dev").string();
        fs::create_directories(sources.sysClassTty);
        fs::create_directories(sources.devDir);
        fs::create_directories(root / "sys/bus/platform/drivers/serial8250");
    }
    void TearDown() override { fs::remove_all(root); }

    static void Write(const fs::path& file, const std::string& text = "") {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A tty class entry whose device link leads to `deviceDir`, with a /dev node if asked.
    void AddTty(const std::string& name, const fs::path& deviceDir, bool devNode = true) {
        const fs::path tty = fs::path(sources.sysClassTty) / name;
        fs::create_directories(tty);
        fs::create_directories(deviceDir);
        fs::create_symlink(deviceDir, tty / "device");
        if (devNode) Write(fs::path(sources.devDir) / name);
    }

    fs::path root;
    PortEnumSources sources;
    PortNameTable names;
};

TEST_F(PortEnumTest, ListsDevicesThatExistWithTheirDescriptions) {
    EXPECT_EQ(PortListNames(ListSerialPorts(names, sources)), "");
    const fs::path usbDevice = root / "sys/devices/usb1/1-1";
    for (const auto& [file, text] : {std::pair{"idVendor", "0403"},
                                     {"idProduct", "6001"},
                                     {"product", "FT232R USB UART"},
                                     {"manufacturer", "FTDI"}})
        Write(usbDevice / file, text);
    AddTty("ttyUSB0", usbDevice / "1-1:1.0/ttyUSB0");
    const fs::path acmDevice = root / "sys/devices/usb1/1-2";
    for (const auto& [file, text] : {std::pair{"idVendor", "2341"}, {"idProduct", "0043"}})
        Write(acmDevice / file, text);
    AddTty("ttyACM3", acmDevice / "1-2:1.0");
    const fs::path uarts = root / "sys/devices/platform/serial8250";
    AddTty("ttyS0", uarts / "tty/ttyS0");
    Write(fs::path(sources.sysClassTty) / "ttyS0/type", "4");
    fs::create_directory_symlink(root / "sys/bus/platform/drivers/serial8250",
                                 uarts / "tty/ttyS0/driver");
    AddTty("ttyS1", uarts / "tty/ttyS1");  // registered, but no UART answered
    Write(fs::path(sources.sysClassTty) / "ttyS1/type", "0");
    AddTty("ttyUSB1", usbDevice / "1-1:1.1/ttyUSB1", /*devNode=*/false);  // not in /dev
    fs::create_directories(fs::path(sources.sysClassTty) / "tty1");       // virtual console
    Write(fs::path(sources.devDir) / "tty1");
    // Explicit numbers: one above 99 (listed), one whose device does not exist (not listed).
    const fs::path simulated = root / "sim-link";
    Write(simulated);
    names.Assign(150, simulated.string());
    names.Assign(151, (root / "missing").string());

    const std::vector<SerialPortInfo> ports = ListSerialPorts(names, sources);
    EXPECT_EQ(PortListNames(ports), "COM1;COM33;COM68;COM150;");
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].description, "/dev/ttyS0 - serial8250");
    EXPECT_EQ(ports[1].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ports[1].description, "/dev/ttyUSB0 - FT232R USB UART (FTDI)");
    EXPECT_EQ(ports[2].description, "/dev/ttyACM3 - USB 2341:0043 (2341:0043)");
    EXPECT_EQ(ports[3].devicePath, simulated.string());
    // A fixed number rebound to another device no longer lists the fixed one.
    names.Assign(33, simulated.string());
    EXPECT_EQ(PortListNames(ListSerialPorts(names, sources)), "COM1;COM33;COM68;COM150;");
    EXPECT_EQ(ListSerialPorts(names, sources)[1].devicePath, simulated.string());

    // An unreadable system list gives the fallback, explicit devices beside it, each number once.
    sources.sysClassTty = (root / "no-such-dir").string();
    names.Assign(3, simulated.string());
    EXPECT_EQ(PortListNames(ListSerialPorts(names, sources)),
              "COM1;COM2;COM3;COM4;COM5;COM6;COM7;COM8;COM9;COM10;COM33;COM150;");
}

}  // namespace
}  // namespace pelorin
