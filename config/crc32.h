// CRC-32 of zlib, gzip and IEEE 802.3 (reflected 0xEDB88320, all-ones start, final complement).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace pelorin {

// Continue a CRC over more bytes; start with `crc` 0. The CRC of no bytes is 0.
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);
uint32_t Crc32(std::string_view text, uint32_t crc = 0);

}  // namespace pelorin
