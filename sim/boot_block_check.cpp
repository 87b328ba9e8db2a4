// Boot block checks of the simulated boot ROM.
#include "sim/boot_block_check.h"

#include <algorithm>
#include <cstdio>

#include "session/boot_block.h"

namespace pelorin::sim {
namespace {

constexpr uint16_t kKnownCrystalsKhz[] = {4000, 8000, 13500, 16000, 27000};

uint32_t Get(std::span<const uint8_t> at, unsigned width, bool msbFirst) {
    uint32_t v = 0;
    for (unsigned i = 0; i < width; ++i) {
        const uint8_t byte = at[msbFirst ? i : width - 1 - i];
        v = (v << 8) | byte;
    }
    return v;
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

SessionHeader ParseWireHeader(std::span<const uint8_t, kSessionHeaderBytes> wire,
                              ChipFamily family) {
    const bool msbFirst = family == ChipFamily::BigEndian;
    SessionHeader h;
    h.mode = wire[0];
    h.chipCode = wire[1];
    h.crystalKhz = static_cast<uint16_t>(Get(wire.subspan(2, 2), 2, msbFirst));
    h.memoryType = wire[5];
    h.memorySize = wire[6];
    h.startAddress = Get(wire.subspan(8, 4), 4, msbFirst);
    h.sectionSize = Get(wire.subspan(12, 4), 4, msbFirst);
    h.sdramMode = wire[17];
    return h;
}

BootBlockCheck CheckBootBlock(std::span<const uint8_t> block, ChipFamily family,
                              const TargetImages& images) {
    BootBlockCheck result;
    if (block.size() != kBootBlockBytes) {
        result.reason = "block of " + std::to_string(block.size()) + " bytes";
        return result;
    }
    std::span<const uint8_t, kSessionHeaderBytes> wire(block.data() + kBootBlockHeaderOffset,
                                                       kSessionHeaderBytes);
    result.header = ParseWireHeader(wire, family);
    const SessionHeader& h = result.header;

    const auto chip = ChipForCode(h.chipCode);
    if (!chip) {
        result.reason = "header names chip code " + std::to_string(h.chipCode) + ", not a chip";
        return result;
    }
    result.chip = *chip;
    if (chip->family != family) {
        result.reason = "chip " + std::string(chip->name) +
                        " is of the other family than the answer " +
                        (family == ChipFamily::BigEndian ? "0x18" : "0x59");
        return result;
    }

    // Anything but the listed fields must be zero; re-encoding shows stray bytes and a header
    // sent in the wrong byte order.
    auto expectedWire = h.WireBytes(family);
    if (!std::equal(expectedWire.begin(), expectedWire.end(), wire.begin())) {
        result.reason = "header reserved bytes are not zero";
        return result;
    }
    // The crystal is one of the five the boards carry; anything else is a header in the wrong
    // byte order or a corrupt block.
    if (std::find(std::begin(kKnownCrystalsKhz), std::end(kKnownCrystalsKhz), h.crystalKhz) ==
        std::end(kKnownCrystalsKhz)) {
        result.reason = "header crystal " + std::to_string(h.crystalKhz) + " kHz is not a crystal";
        return result;
    }
    if (h.mode > 2) {
        result.reason = "header mode " + std::to_string(h.mode);
        return result;
    }
    if (h.memoryType > 1 || h.memorySize > 3 || h.sdramMode > 1) {
        result.reason = "header memory settings out of range (type " +
                        std::to_string(h.memoryType) + ", size " + std::to_string(h.memorySize) +
                        ", SDRAM mode " + std::to_string(h.sdramMode) + ")";
        return result;
    }

    std::span<const uint8_t> image = images.BootImage(chip->bootImage);
    if (image.empty() || image.size() > kBootBlockHeaderOffset) {
        result.reason =
            "no boot loader image " + std::to_string(chip->bootImage) + " for this board";
        return result;
    }
    auto mismatch = std::mismatch(image.begin(), image.end(), block.begin());
    if (mismatch.first != image.end()) {
        const auto at = static_cast<unsigned>(mismatch.first - image.begin());
        result.reason = "boot loader differs from image " + std::to_string(chip->bootImage) +
                        " at offset " + std::to_string(at) + " (" + Hex(block[at]) + ", expected " +
                        Hex(image[at]) + ")";
        return result;
    }
    auto isNonZero = [](uint8_t b) { return b != 0; };
    auto padding = block.subspan(image.size(), kBootBlockHeaderOffset - image.size());
    if (auto it = std::find_if(padding.begin(), padding.end(), isNonZero); it != padding.end()) {
        result.reason = "padding byte at offset " +
                        std::to_string(image.size() + static_cast<size_t>(it - padding.begin())) +
                        " is not zero";
        return result;
    }
    auto tail = block.subspan(kBootBlockHeaderOffset + kSessionHeaderBytes);
    if (std::any_of(tail.begin(), tail.end(), isNonZero)) {
        result.reason = "bytes after the header are not zero";
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace pelorin::sim
