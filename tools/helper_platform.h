// What the layout helper needs of the operating system: waiting for a program to end, and
// replacing a file in one step.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace pelorin::helper {

// Waits until no process runs the program file at `programPath`. False if one still does
// after `limit`.
bool WaitForProgramToEnd(const std::filesystem::path& programPath, std::chrono::milliseconds limit);

// Writes `bytes` to a new file beside `path` and renames it over `path`, keeping the old
// file's permission bits: readers see the old file or the new one, never a part.
bool ReplaceFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                 std::string* error);

}  // namespace pelorin::helper
