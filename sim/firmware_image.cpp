// Firmware-like image generator.
#include "sim/firmware_image.h"

#include <algorithm>

namespace pelorin::sim {

std::vector<uint8_t> MakeFirmwareImage(size_t size, size_t codeBytes, uint32_t seed) {
    std::vector<uint8_t> image(size, 0xFF);
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    // A small vocabulary of instruction words with varying register and offset fields gives
    // the redundancy of real code: it compresses, but not to nothing.
    static constexpr uint32_t kOpcodes[] = {0xE59F0000, 0xE3A00000, 0xE1A00000, 0xEB000000,
                                            0xE5900000, 0xE5800000, 0xE2800000, 0x1A000000,
                                            0xE8BD8000, 0xE92D4000, 0xE3500000, 0x0A000000};
    codeBytes = std::min(codeBytes, size) & ~size_t{3};
    for (size_t i = 0; i < codeBytes; i += 4) {
        const uint32_t r = next();
        uint32_t word = kOpcodes[r % std::size(kOpcodes)] | ((r >> 8) & 0x0000F0FF);
        if ((r >> 28) == 0) word = next();  // literal data now and then
        for (int b = 0; b < 4; ++b) image[i + size_t(b)] = uint8_t(word >> (8 * b));
    }
    return image;
}

}  // namespace pelorin::sim
