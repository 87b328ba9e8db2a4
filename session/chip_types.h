// The chip list: nineteen types in two families, in the order the operator's list shows them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelorin {

enum class ChipFamily { BigEndian, LittleEndian };

struct ChipType {
    std::string_view name;
    uint8_t code;  // what the boot block header carries
    ChipFamily family;
    uint8_t bootImage;  // boot loader image number, 1..10
};

// One row per chip, in list order; the list position is the row index.
inline constexpr std::array<ChipType, 19> kChipTypes = {{
    {"QV101", 0, ChipFamily::BigEndian, 1},      {"QV102", 1, ChipFamily::BigEndian, 1},
    {"QV103", 2, ChipFamily::BigEndian, 1},      {"QV104", 3, ChipFamily::BigEndian, 1},
    {"QV105", 4, ChipFamily::BigEndian, 2},      {"QV106", 5, ChipFamily::BigEndian, 3},
    {"QV107", 6, ChipFamily::BigEndian, 4},      {"QV108", 7, ChipFamily::BigEndian, 5},
    {"QV109", 8, ChipFamily::BigEndian, 5},      {"QV110", 9, ChipFamily::BigEndian, 4},
    {"QV111", 10, ChipFamily::BigEndian, 4},     {"QV112", 11, ChipFamily::BigEndian, 4},
    {"QV113", 12, ChipFamily::BigEndian, 6},     {"QV114", 13, ChipFamily::BigEndian, 6},
    {"QV115", 14, ChipFamily::BigEndian, 7},     {"QV116", 15, ChipFamily::BigEndian, 7},
    {"QV117", 16, ChipFamily::BigEndian, 8},     {"QV118", 32, ChipFamily::LittleEndian, 9},
    {"QV119", 33, ChipFamily::LittleEndian, 10},
}};

inline constexpr unsigned kChipCodeCount = 64;
inline constexpr unsigned kBootImageCount = 10;
// Bytes each boot loader image occupies, by image number - 1.
inline constexpr std::array<unsigned, kBootImageCount> kBootImageSizes = {
    1552, 1512, 1512, 1528, 1528, 1336, 1368, 1528, 936, 936};
inline constexpr unsigned kBigEndianDramImageSize = 16212;
inline constexpr unsigned kLittleEndianDramImageSize = 27260;

// Positions 0..16 carry their own number as code; 17 and 18 carry 32 and 33.
constexpr uint8_t ChipCodeForListPosition(unsigned position) {
    return static_cast<uint8_t>(position <= 16 ? position : position + 15);
}

constexpr ChipFamily FamilyOfCode(unsigned code) {
    return code < 32 ? ChipFamily::BigEndian : ChipFamily::LittleEndian;
}

// The chip with this code, or none for the 45 codes without a chip.
std::optional<ChipType> ChipForCode(unsigned code);
// Case-insensitive lookup by name ("QV101"); returns the list position.
std::optional<unsigned> ChipPositionForName(std::string_view name);

}  // namespace pelorin
