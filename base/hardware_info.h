// The hardware-version answer: the first bytes of the operator's file, sent when the loader
// asks for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelorin {

inline constexpr size_t kHardwareInfoBytes = 8;
using HardwareInfo = std::array<uint8_t, kHardwareInfoBytes>;

}  // namespace pelorin
