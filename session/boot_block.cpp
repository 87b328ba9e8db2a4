// Boot block building and the chip-code image table.
#include "session/boot_block.h"

#include <algorithm>

#include "session/target_images.h"

namespace pelorin {

void ChipImageTable::Fill(const TargetImages& images) {
    entries_ = {};
    for (const ChipType& chip : kChipTypes) entries_[chip.code] = images.BootImage(chip.bootImage);
}

std::span<const uint8_t> ChipImageTable::ImageFor(unsigned code) const {
    if (code >= entries_.size()) return {};
    return entries_[code];
}

std::optional<std::array<uint8_t, kBootBlockBytes>> BuildBootBlock(const ChipImageTable& table,
                                                                   const SessionHeader& header) {
    std::span<const uint8_t> image = table.ImageFor(header.chipCode);
    if (image.empty() || image.size() > kBootBlockHeaderOffset) return std::nullopt;
    std::array<uint8_t, kBootBlockBytes> block{};
    std::copy(image.begin(), image.end(), block.begin());
    auto wire = header.WireBytes(FamilyOfCode(header.chipCode));
    std::copy(wire.begin(), wire.end(), block.begin() + kBootBlockHeaderOffset);
    return block;
}

}  // namespace pelorin
