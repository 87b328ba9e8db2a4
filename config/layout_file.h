// The working layout file: taken from the program file's appended layout, or the default.
#pragma once

#include <filesystem>
#include <string>

namespace pelorin {

// The program file's valid appended layout text, else the default text.
std::string LayoutTextOf(const std::filesystem::path& programPath);

// Leaves the working layout file at `layoutPath` holding LayoutTextOf(programPath), bytes
// unchanged. False when the file could not be written.
bool ExtractLayout(const std::filesystem::path& programPath,
                   const std::filesystem::path& layoutPath);
// Creates or truncates `layoutPath` with the default text.
bool WriteDefaultLayout(const std::filesystem::path& layoutPath);

}  // namespace pelorin
