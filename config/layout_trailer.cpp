// Reading and building the layout trailer of a program file.
#include "config/layout_trailer.h"

#include <fstream>
#include <iterator>

#include "config/crc32.h"

namespace pelorin {
namespace {

uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

std::optional<LayoutTrailer> ParseLayoutTrailer(std::span<const uint8_t> file) {
    if (file.size() < kLayoutTrailerBytes) return std::nullopt;
    const uint8_t* end = file.data() + file.size();
    uint32_t offset = LoadLe32(end - 4);
    uint32_t storedCrc = LoadLe32(end - 8);
    // An offset inside the trailer itself would give a negative text length.
    if (offset == 0 || offset > file.size() - kLayoutTrailerBytes) return std::nullopt;
    auto text = file.subspan(offset, file.size() - kLayoutTrailerBytes - offset);
    if (Crc32(text) != storedCrc) return std::nullopt;
    return LayoutTrailer{offset, std::string(text.begin(), text.end())};
}

std::optional<LayoutTrailer> ReadLayoutTrailer(const std::filesystem::path& programPath) {
    auto bytes = ReadWholeFile(programPath);
    if (!bytes) return std::nullopt;
    return ParseLayoutTrailer(*bytes);
}

std::span<const uint8_t> ExecutableImage(std::span<const uint8_t> file) {
    if (auto trailer = ParseLayoutTrailer(file)) return file.first(trailer->textOffset);
    return file;
}

std::optional<std::vector<uint8_t>> AppendLayoutTrailer(std::span<const uint8_t> image,
                                                        std::string_view text) {
    if (image.size() > UINT32_MAX) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(image.size() + text.size() + kLayoutTrailerBytes);
    out.insert(out.end(), image.begin(), image.end());
    out.insert(out.end(), text.begin(), text.end());
    StoreLe32(out, Crc32(text));
    StoreLe32(out, static_cast<uint32_t>(image.size()));
    return out;
}

// In one read: the program file is megabytes, and the window reads it at every start.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
    return bytes;
}

}  // namespace pelorin
