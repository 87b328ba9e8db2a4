// The segment layout text appended to the program file: text, CRC-32 of the text, then the
// text's offset, both little-endian 32-bit. Shared by the tool and the layout helper.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

inline constexpr size_t kLayoutTrailerBytes = 8;  // CRC-32, then the text offset

struct LayoutTrailer {
    uint32_t textOffset = 0;  // also the length of the executable image before the text
    std::string text;         // bytes exactly as appended
};

// The valid appended layout of a program file's bytes, or nullopt: offset 0, an offset beyond
// the file or inside its last 8 bytes, or a CRC that does not match.
std::optional<LayoutTrailer> ParseLayoutTrailer(std::span<const uint8_t> file);
// The same read from a file; nullopt also when the file cannot be read.
std::optional<LayoutTrailer> ReadLayoutTrailer(const std::filesystem::path& programPath);

// The executable image of a program file's bytes: everything before a valid appended text,
// or the whole file when it carries none.
std::span<const uint8_t> ExecutableImage(std::span<const uint8_t> file);

// `image` followed by `text` and its trailer; nullopt when the image is 4 GiB or more, since
// the offset has 32 bits.
std::optional<std::vector<uint8_t>> AppendLayoutTrailer(std::span<const uint8_t> image,
                                                        std::string_view text);

// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path);

}  // namespace pelorin
