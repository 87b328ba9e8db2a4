// How hard a Download's data file is compressed: zlib at level 6 as always, or libdeflate at
// its highest level for fewer bytes on a slow line. Both give the same kind of gzip member.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/ini_reader.h"

namespace pelorin {

enum class Compression : uint8_t { Standard, Best };

inline constexpr int kBestDeflateLevel = 12;  // libdeflate's highest

// "default" (or "standard") and "best", without case; nullopt for anything else.
std::optional<Compression> CompressionForName(std::string_view name);
const char* CompressionName(Compression compression);
// The layout's [Config] Compression key; Standard when it is missing or unknown. An unknown
// name sets `warning` (when given) to a text for the operator, else it is cleared.
Compression CompressionOfLayout(const IniText& layout, std::string* warning = nullptr);

}  // namespace pelorin
