// The simulated board's flash, kept in a file between runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelorin::sim {

// Reads the flash from `path`, or makes a new one of `size` (default `defaultSize`) bytes of
// `fill` when the file does not exist. A file whose size differs from an explicit `size` is
// an error rather than silently resized.
bool LoadFlash(const std::string& path, std::optional<size_t> size, size_t defaultSize,
               uint8_t fill, std::vector<uint8_t>& flash, std::string& error);

// Writes the flash to a temporary file beside `path` and renames it over `path`, so that an
// interrupted save never leaves a half-written flash.
bool SaveFlash(const std::string& path, const std::vector<uint8_t>& flash, std::string& error);

}  // namespace pelorin::sim
