// Line settings by crystal: the boot ROM talks at a speed its crystal sets.
#pragma once

#include <array>
#include <cstdint>

namespace pelorin {

struct CrystalSettings {
    unsigned crystalKhz;
    const char* settings;
};

inline constexpr std::array<CrystalSettings, 5> kCrystalSettings = {{
    {4000, "9600,n,8,1"},
    {8000, "38400,n,8,1"},
    {13500, "57600,n,8,1"},
    {16000, "57600,n,8,1"},
    {27000, "115200,n,8,1"},
}};
inline constexpr const char* kFallbackLineSettings = "9600,n,8,1";

constexpr const char* LineSettingsForCrystal(unsigned crystalKhz) {
    for (const CrystalSettings& row : kCrystalSettings)
        if (row.crystalKhz == crystalKhz) return row.settings;
    return kFallbackLineSettings;
}

}  // namespace pelorin
