// The 28-byte operation header the boot block carries to the target: held in host order,
// converted to the family's byte order only on the way out.
#pragma once

#include <array>
#include <cstdint>

#include "session/chip_types.h"

namespace pelorin {

enum class OperationMode : uint8_t { Download = 0, Erase = 1, Dump = 2 };

inline constexpr unsigned kSessionHeaderBytes = 28;

struct SessionHeader {
    uint8_t mode = 0;  // OperationMode
    uint8_t chipCode = 0;
    uint16_t crystalKhz = 0;    // 27000, 13500, 16000, 8000, 4000
    uint8_t memoryType = 0;     // 0 SDRAM, 1 DDRAM
    uint8_t memorySize = 0;     // 0 64Mbit .. 3 512Mbit
    uint32_t startAddress = 0;  // of the chosen flash section
    uint32_t sectionSize = 0;   // bytes; also what a dump receives
    uint8_t sdramMode = 0;      // 0 full-page, 1 burst

    // The bytes as the target of `family` expects them: the big-endian family gets the
    // crystal and the two 32-bit fields most significant byte first.
    std::array<uint8_t, kSessionHeaderBytes> WireBytes(ChipFamily family) const;
};

}  // namespace pelorin
