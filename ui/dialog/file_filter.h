// The file type filter of the file dialogs, kept in the notation the dialogs were first
// written with ("display|patterns|...||") and turned into entries and the toolkit's notation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelorin::ui {

// Both file dialogs offer this filter; the first entry is the default.
inline constexpr std::string_view kFileFilter = "*.bin;*.dat|*.bin;*.dat|(All File) *.* | *.*||";

struct FileFilterEntry {
    std::string display;   // "(All File) *.* ", spaces kept
    std::string patterns;  // " *.*", ';' between patterns
};

// Pairs of display text and patterns separated by '|'; an empty display text ends the list.
std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter);
// The toolkit's notation: "display (pattern pattern);;...".
std::string ToolkitFilter(const std::vector<FileFilterEntry>& entries);

}  // namespace pelorin::ui
