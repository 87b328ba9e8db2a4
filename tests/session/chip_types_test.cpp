// Chip codes, header byte orders and boot block layout.
#include <gtest/gtest.h>

#include "session/boot_block.h"
#include "session/chip_types.h"
#include "session/session_header.h"

namespace pelorin {
namespace {

TEST(ChipTypes, ListPositionsMapToCodesAndFamilies) {
    EXPECT_EQ(ChipCodeForListPosition(16), 16);
    EXPECT_EQ(ChipCodeForListPosition(17), 32);
    EXPECT_EQ(ChipCodeForListPosition(18), 33);
    for (unsigned i = 0; i < kChipTypes.size(); ++i) {
        EXPECT_EQ(kChipTypes[i].code, ChipCodeForListPosition(i));
        EXPECT_EQ(kChipTypes[i].family, FamilyOfCode(kChipTypes[i].code));
    }
    EXPECT_FALSE(ChipForCode(17).has_value());
    EXPECT_EQ(ChipPositionForName("qv119"), 18u);
    EXPECT_FALSE(ChipPositionForName("QV120").has_value());
}

TEST(SessionHeader, WireByteOrderByFamily) {
    SessionHeader h;
    h.crystalKhz = 13500;
    h.startAddress = 0x10000;
    h.sectionSize = 0x120000;
    h.memoryType = 1;
    h.memorySize = 2;
    h.sdramMode = 1;
    auto big = h.WireBytes(ChipFamily::BigEndian);
    auto little = h.WireBytes(ChipFamily::LittleEndian);
    EXPECT_EQ(big[2], 0x34);
    EXPECT_EQ(big[3], 0xBC);
    EXPECT_EQ(little[2], 0xBC);
    EXPECT_EQ(little[3], 0x34);
    EXPECT_EQ((std::array<uint8_t, 4>{big[8], big[9], big[10], big[11]}),
              (std::array<uint8_t, 4>{0x00, 0x01, 0x00, 0x00}));
    EXPECT_EQ((std::array<uint8_t, 4>{big[12], big[13], big[14], big[15]}),
              (std::array<uint8_t, 4>{0x00, 0x12, 0x00, 0x00}));
    EXPECT_EQ((std::array<uint8_t, 4>{little[8], little[9], little[10], little[11]}),
              (std::array<uint8_t, 4>{0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ((std::array<uint8_t, 4>{little[12], little[13], little[14], little[15]}),
              (std::array<uint8_t, 4>{0x00, 0x00, 0x12, 0x00}));
    for (int at : {5, 6, 17}) EXPECT_EQ(big[at], little[at]) << at;
}

}  // namespace
}  // namespace pelorin
