// CRC-32 through zlib, fed in pieces so lengths beyond uInt are fine.
#include "config/crc32.h"

#include <zlib.h>

#include <algorithm>

namespace pelorin {

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc) {
    uLong value = crc;
    while (!bytes.empty()) {
        size_t piece = std::min<size_t>(bytes.size(), 1u << 30);
        value = crc32(value, bytes.data(), static_cast<uInt>(piece));
        bytes = bytes.subspan(piece);
    }
    return static_cast<uint32_t>(value);
}

uint32_t Crc32(std::string_view text, uint32_t crc) {
    return Crc32(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), crc);
}

}  // namespace pelorin
