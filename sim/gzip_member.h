// Inflating the one gzip member a Download sends, the way the DRAM loader does.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pelorin::sim {

// Inflates the gzip member at the start of `member` into `out`. False, with `error` set, when
// it is not a complete, intact member or when it inflates to more than `maxBytes`.
bool InflateGzipMember(std::span<const uint8_t> member, size_t maxBytes, std::vector<uint8_t>& out,
                       std::string& error);

}  // namespace pelorin::sim
