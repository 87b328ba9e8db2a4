// What the boot ROM checks in a received boot block: the chip code in the header, the boot
// loader image in front of it, the zero padding, and the header's own fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "session/chip_types.h"
#include "session/session_header.h"
#include "session/target_images.h"

namespace pelorin::sim {

struct BootBlockCheck {
    bool ok = false;
    std::string reason;    // why the block was refused
    SessionHeader header;  // in host order
    ChipType chip{};
};

// `block` is the 2048 bytes as received; `family` is what the answer byte announced.
BootBlockCheck CheckBootBlock(std::span<const uint8_t> block, ChipFamily family,
                              const TargetImages& images);

// The header fields read from their wire byte order (the inverse of SessionHeader::WireBytes).
SessionHeader ParseWireHeader(std::span<const uint8_t, kSessionHeaderBytes> wire,
                              ChipFamily family);

}  // namespace pelorin::sim
