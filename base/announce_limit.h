// Lengths travel to the target in three bytes, least significant first.
#pragma once

#include <cstdint>

namespace pelorin {

// The largest length three bytes can announce: a loader image or data file must not exceed it.
inline constexpr uint64_t kMaxAnnouncedBytes = (uint64_t{1} << 24) - 1;

}  // namespace pelorin
