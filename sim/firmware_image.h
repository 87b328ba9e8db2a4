// Firmware-like test images: instruction-like words up front, 0xFF padding behind, as real
// flash images look (and compress).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelorin::sim {

// `size` bytes; the first `codeBytes` look like machine code, the rest is erased flash.
std::vector<uint8_t> MakeFirmwareImage(size_t size, size_t codeBytes, uint32_t seed = 1);

}  // namespace pelorin::sim
