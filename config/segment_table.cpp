// Reading the section list out of the layout text.
#include "config/segment_table.h"

#include <algorithm>
#include <cctype>

#include <cstdio>

#include "config/layout_trailer.h"

namespace pelorin {
namespace {

constexpr uint64_t kAddressSpaceBytes = uint64_t{1} << 32;  // 4 GiB

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

uint32_t ParseSegmentHex(std::string_view value) {
    if (value.size() < 2) return 0;
    std::string text(value);
    text[1] = '0';
    uint64_t result = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        result = result * 16 + static_cast<uint64_t>(digit);
        if (result > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(result);
}

SegmentTable LoadSegmentTable(const IniText& layout, std::string* error) {
    const auto refuse = [&](const std::string& why) {
        if (error) *error = "The layout is refused: " + why;
        return SegmentTable();
    };
    if (error) error->clear();
    if (!layout.Error().empty()) return refuse(layout.Error());
    int32_t count = layout.GetInt("Main", "SegNumber", 0);
    if (count > kMaxSegmentCount)
        return refuse("SegNumber " + layout.GetString("Main", "SegNumber") +
                      " is too large: a layout has at most " + std::to_string(kMaxSegmentCount) +
                      " sections");
    if (count <= 0) return {};
    SegmentTable table(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        SegmentEntry& entry = table[static_cast<size_t>(i)];
        entry.name = layout.GetString("Main", "Seg" + std::to_string(i));
        entry.startAddr = ParseSegmentHex(layout.GetString(entry.name, "StartAddr"));
        entry.segSize = ParseSegmentHex(layout.GetString(entry.name, "SegSize"));
        // The board's addresses have 32 bits: a section may end at 4 GiB, not beyond.
        if (uint64_t{entry.startAddr} + entry.segSize > kAddressSpaceBytes)
            return refuse("section " + entry.name + " (StartAddr " + Hex(entry.startAddr) +
                          ", SegSize " + Hex(entry.segSize) + ") ends beyond 4 GiB");
    }
    return table;
}

SegmentTable LoadSegmentTable(const std::filesystem::path& layoutPath) {
    auto bytes = ReadWholeFile(layoutPath);
    if (!bytes) return {};
    return LoadSegmentTable(
        IniText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())));
}

const SegmentEntry* FindSegment(const SegmentTable& table, std::string_view name) {
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    for (const SegmentEntry& entry : table)
        if (name.empty() ||
            std::equal(entry.name.begin(), entry.name.end(), name.begin(), name.end(), same))
            return &entry;
    return nullptr;
}

std::string NoSectionText(std::string_view name) {
    return "No section '" + std::string(name) + "' in the layout";
}

}  // namespace pelorin
