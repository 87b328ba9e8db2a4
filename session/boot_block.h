// The 2048-byte block the boot ROM loads: boot loader image at 0, header at 2016.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "session/chip_types.h"
#include "session/session_header.h"

namespace pelorin {

inline constexpr unsigned kBootBlockBytes = 2048;
inline constexpr unsigned kBootBlockHeaderOffset = 2016;

class TargetImages;

// Boot loader image by chip code (64 entries; codes without a chip stay empty).
class ChipImageTable {
  public:
    void Fill(const TargetImages& images);
    // Empty span for a code that has no image.
    std::span<const uint8_t> ImageFor(unsigned code) const;

  private:
    std::array<std::span<const uint8_t>, kChipCodeCount> entries_{};
};

// Builds the block for `header.chipCode`; none when the code has no image (the operation
// must then be refused, never sent as an empty block).
std::optional<std::array<uint8_t, kBootBlockBytes>> BuildBootBlock(const ChipImageTable& table,
                                                                   const SessionHeader& header);

}  // namespace pelorin
