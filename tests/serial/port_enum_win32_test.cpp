// Port discovery from the registry: order, the five-character limit, an empty and a missing
// key, and explicitly numbered devices. Each test lists its own key below HKLM\SOFTWARE.
#include <windows.h>

#include <gtest/gtest.h>

#include "serial/port_enum.h"
#include "tests/serial/port_list_names.h"

namespace pelorin {
namespace {

class PortEnumWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        sources.registryKey =
            "SOFTWARE\\PelorinTest\\SERIALCOMM-" + std::to_string(GetCurrentProcessId());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\PelorinTest"); }
    void MakeKey(std::initializer_list<std::pair<const char*, const char*>> values) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sources.registryKey.c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, data] : values)
            ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                     static_cast<DWORD>(strlen(data) + 1)),
                      ERROR_SUCCESS);
        RegCloseKey(key);
    }
    PortEnumSources sources;
    PortNameTable names;
};

TEST_F(PortEnumWin32Test, RegistryNamesInTheirOrderUpToFiveCharacters) {
    MakeKey({{"\\Device\\Serial0", "COM3"},
             {"\\Device\\VCP0", "COM1"},
             {"\\Device\\VCP1", "COM100"},
             {"\\Device\\VCP2", "COM99"}});
    const auto ports = ListSerialPorts(names, sources);
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(PortListNames(ports), "COM3;COM1;COM99;");
    EXPECT_EQ(ports[0].number, 3u);
    EXPECT_EQ(ports[0].devicePath, "\\\\.\\COM3");
    EXPECT_EQ(ports[0].description.rfind("\\Device\\Serial0", 0), 0u);
}

TEST_F(PortEnumWin32Test, EmptyKeyListsNothingAndAMissingOneFallsBack) {
    MakeKey({});
    EXPECT_EQ(PortListNames(ListSerialPorts(names, sources)), "");
    sources.registryKey += "-missing";
    EXPECT_EQ(PortListNames(ListSerialPorts(names, sources)),
              "COM1;COM2;COM3;COM4;COM5;COM6;COM7;COM8;COM9;COM10;");
}

TEST_F(PortEnumWin32Test, ExplicitNumbersFollowAndTakeTheirNumberFromTheRegistry) {
    MakeKey({{"\\Device\\Serial0", "COM3"}, {"\\Device\\Serial1", "COM4"}});
    names.Assign(4, "\\\\.\\CNCA0");
    names.Assign(200, "\\\\.\\CNCB0");
    const auto ports = ListSerialPorts(names, sources);
    EXPECT_EQ(PortListNames(ports), "COM3;COM4;COM200;");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[1].devicePath, "\\\\.\\CNCA0");
}

TEST(PortNamesWin32, EveryNumberIsTheSystemsComPort) {
    EXPECT_EQ(FixedDevicePath(1), "\\\\.\\COM1");
    EXPECT_EQ(FixedDevicePath(1024), "\\\\.\\COM1024");
    EXPECT_EQ(FixedDevicePath(0), "");
    EXPECT_EQ(FixedPortNumber("\\\\.\\COM12"), 12u);
    EXPECT_EQ(FixedPortNumber("COM7"), 7u);
    EXPECT_EQ(FixedPortNumber("COM07"), 0u);
    EXPECT_EQ(FixedPortNumber("COM1025"), 0u);
    EXPECT_EQ(FixedPortNumber("\\\\.\\CNCA0"), 0u);
    PortNameTable table;
    table.Assign(3, "\\\\.\\CNCA0");
    EXPECT_EQ(table.DevicePath(3), "\\\\.\\CNCA0");
    EXPECT_EQ(table.NumberFor("\\\\.\\COM3"), kFirstFreePortNumber);  // COM3 is taken
    EXPECT_EQ(table.NumberFor("\\\\.\\COM4"), 4u);
}

}  // namespace
}  // namespace pelorin
