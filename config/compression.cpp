// Compression names, from the command line and the layout's [Config] section.
#include "config/compression.h"

#include <algorithm>
#include <cctype>

namespace pelorin {
namespace {

struct CompressionRow {
    const char* name;
    Compression compression;
};
constexpr CompressionRow kNames[] = {
    {"default", Compression::Standard},
    {"standard", Compression::Standard},
    {"best", Compression::Best},
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::optional<Compression> CompressionForName(std::string_view name) {
    for (const CompressionRow& row : kNames)
        if (SameIgnoringCase(row.name, name)) return row.compression;
    return std::nullopt;
}

const char* CompressionName(Compression compression) {
    return compression == Compression::Best ? "best" : "default";
}

Compression CompressionOfLayout(const IniText& layout, std::string* warning) {
    const std::string name = layout.GetString("Config", "Compression");
    const std::optional<Compression> known = CompressionForName(name);
    if (warning) warning->clear();
    if (!known && !name.empty() && warning)
        *warning = "The layout's Compression=" + name +
                   " is unknown (default, standard or best): the default is used";
    return known.value_or(Compression::Standard);
}

}  // namespace pelorin
