// Reading the section list out of the layout text.
#include "config/segment_table.h"

#include "config/layout_trailer.h"

namespace pelorin {

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

SegmentTable LoadSegmentTable(const IniText& layout) {
    int32_t count = layout.GetInt("Main", "SegNumber", 0);
    if (count <= 0 || count > kMaxSegmentCount) return {};
    SegmentTable table(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        SegmentEntry& entry = table[static_cast<size_t>(i)];
        entry.name = layout.GetString("Main", "Seg" + std::to_string(i));
        entry.startAddr = ParseSegmentHex(layout.GetString(entry.name, "StartAddr"));
        entry.segSize = ParseSegmentHex(layout.GetString(entry.name, "SegSize"));
    }
    return table;
}

SegmentTable LoadSegmentTable(const std::filesystem::path& layoutPath) {
    auto bytes = ReadWholeFile(layoutPath);
    if (!bytes) return {};
    return LoadSegmentTable(
        IniText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size())));
}

}  // namespace pelorin
