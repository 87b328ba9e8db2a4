// Filter texts of the file dialogs.
#include "ui/dialog/file_filter.h"

namespace pelorin::ui {
namespace {

// The next '|'-separated field of `text` from `pos`; moves `pos` past the separator.
std::string_view NextField(std::string_view text, size_t& pos) {
    if (pos >= text.size()) return {};
    const size_t bar = text.find('|', pos);
    const size_t end = bar == std::string_view::npos ? text.size() : bar;
    std::string_view field = text.substr(pos, end - pos);
    pos = end + 1;
    return field;
}

// "*.bin;*.dat" or " *.*" as "*.bin *.dat" or "*.*".
std::string SpaceSeparated(std::string_view patterns) {
    std::string out;
    std::string current;
    auto flush = [&] {
        if (current.empty()) return;
        if (!out.empty()) out += ' ';
        out += current;
        current.clear();
    };
    for (char c : patterns) {
        if (c == ';' || c == ' ')
            flush();
        else
            current += c;
    }
    flush();
    return out;
}

}  // namespace

std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter) {
    std::vector<FileFilterEntry> entries;
    size_t pos = 0;
    while (true) {
        const std::string_view display = NextField(filter, pos);
        if (display.empty()) break;
        entries.push_back({std::string(display), std::string(NextField(filter, pos))});
    }
    return entries;
}

std::string ToolkitFilter(const std::vector<FileFilterEntry>& entries) {
    std::string out;
    for (const FileFilterEntry& entry : entries) {
        if (!out.empty()) out += ";;";
        out += entry.display + " (" + SpaceSeparated(entry.patterns) + ")";
    }
    return out;
}

}  // namespace pelorin::ui
