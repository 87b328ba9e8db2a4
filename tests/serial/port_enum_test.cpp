// Serial port discovery over a fake sysfs tree.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "serial/port_enum.h"

namespace pelorin {
namespace {

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

    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // A tty class entry whose device link leads to `deviceDir`, with a /dev node if asked.
    void AddTty(const std::string& name, const fs::path& deviceDir, bool devNode = true) {
        const fs::path tty = fs::path(sources.sysClassTty) / name;
        fs::create_directories(tty);
        fs::create_directories(deviceDir);
        fs::create_symlink(deviceDir, tty / "device");
        if (devNode) Write(fs::path(sources.devDir) / name, "");
    }

    fs::path root;
    PortEnumSources sources;
    PortNameTable names;
};

TEST_F(PortEnumTest, ListsDevicesThatExistWithTheirDescriptions) {
    const fs::path usbDevice = root / "sys/devices/usb1/1-1";
    Write(usbDevice / "idVendor", "0403");
    Write(usbDevice / "idProduct", "6001");
    Write(usbDevice / "product", "FT232R USB UART");
    Write(usbDevice / "manufacturer", "FTDI");
    AddTty("ttyUSB0", usbDevice / "1-1:1.0/ttyUSB0");

    const fs::path acmDevice = root / "sys/devices/usb1/1-2";
    Write(acmDevice / "idVendor", "2341");
    Write(acmDevice / "idProduct", "0043");
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
    Write(fs::path(sources.devDir) / "tty1", "");

    // Explicit numbers: one above 99 (listed), one whose device does not exist (not listed).
    const fs::path simulated = root / "sim-link";
    Write(simulated, "");
    names.Assign(150, simulated.string());
    names.Assign(151, (root / "missing").string());

    const std::vector<SerialPortInfo> ports = ListSerialPorts(names, sources);
    EXPECT_EQ(PortListText(ports), "COM1;COM33;COM68;COM150;");
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyS0");
    EXPECT_EQ(ports[0].description, "/dev/ttyS0 - serial8250");
    EXPECT_EQ(ports[1].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(ports[1].description, "/dev/ttyUSB0 - FT232R USB UART (FTDI)");
    EXPECT_EQ(ports[2].description, "/dev/ttyACM3 - USB 2341:0043 (2341:0043)");
    EXPECT_EQ(ports[3].number, 150u);
    EXPECT_EQ(ports[3].devicePath, simulated.string());

    // A fixed number rebound to another device no longer lists the fixed one.
    names.Assign(33, simulated.string());
    EXPECT_EQ(PortListText(ListSerialPorts(names, sources)), "COM1;COM33;COM68;COM150;");
    EXPECT_EQ(ListSerialPorts(names, sources)[1].devicePath, simulated.string());
}

TEST_F(PortEnumTest, EmptyAndUnreadableSources) {
    EXPECT_EQ(PortListText(ListSerialPorts(names, sources)), "");

    sources.sysClassTty = (root / "no-such-dir").string();
    EXPECT_EQ(PortListText(ListSerialPorts(names, sources)), FallbackPortListText());
    EXPECT_EQ(FallbackPortListText(), "COM1;COM2;COM3;COM4;COM5;COM6;COM7;COM8;COM9;COM10;");

    // Explicit devices still show beside the fallback, each number once.
    const fs::path simulated = root / "sim";
    Write(simulated, "");
    names.Assign(3, simulated.string());
    names.Assign(300, simulated.string());
    EXPECT_EQ(PortListText(ListSerialPorts(names, sources)),
              "COM1;COM2;COM3;COM4;COM5;COM6;COM7;COM8;COM9;COM10;COM300;");
}

TEST(PortEnumSystemTest, TheRealListHasTheExpectedForm) {
    PortNameTable names;
    const std::string text = EnumSerialPorts(names);
    // Whatever this machine has: names "COMn", each followed by ';'.
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(';', start);
        ASSERT_NE(end, std::string::npos);
        const std::string name = text.substr(start, end - start);
        EXPECT_EQ(name.substr(0, 3), "COM");
        EXPECT_GT(std::atoi(name.c_str() + 3), 0);
        start = end + 1;
    }
}

}  // namespace
}  // namespace pelorin
