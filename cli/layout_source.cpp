// Where the command line's layout comes from.
#include "cli/layout_source.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "config/ini_reader.h"
#include "config/layout_file.h"

namespace pelorin::cli {

std::optional<SegmentTable> LoadLayout(const std::string& layoutFile, std::string& error,
                                       Compression* compression) {
    std::string text;
    if (!layoutFile.empty()) {
        std::error_code ec;
        // Checked before the open: a FIFO would wait for a writer forever.
        if (!std::filesystem::is_regular_file(layoutFile, ec)) {
            error = "The layout file " + layoutFile + " is not a regular file" +
                    (ec ? ": " + ec.message() : std::string());
            return std::nullopt;
        }
        std::ifstream in(layoutFile, std::ios::binary);
        if (!in) {
            error = "Can't read the layout file " + layoutFile + ": " +
                    std::generic_category().message(errno);
            return std::nullopt;
        }
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    } else {
        std::error_code ec;
        text = LayoutTextOf(std::filesystem::read_symlink("/proc/self/exe", ec));
    }
    const IniText ini(text);
    if (compression) {
        std::string warning;
        *compression = CompressionOfLayout(ini, &warning);
        // Said once a run, though the line reads the layout for every board.
        static std::once_flag warned;
        if (!warning.empty())
            std::call_once(warned,
                           [&] { std::fprintf(stderr, "pelorin-cli: %s\n", warning.c_str()); });
    }
    std::string refused;
    SegmentTable table = LoadSegmentTable(ini, &refused);
    if (table.empty()) {
        error = !refused.empty() ? refused
                                 : "The layout defines no flash section" +
                                       (layoutFile.empty() ? std::string() : ": " + layoutFile);
        return std::nullopt;
    }
    return table;
}

std::optional<SegmentEntry> FindSection(const SegmentTable& table, const std::string& name,
                                        std::string& error) {
    if (const SegmentEntry* entry = FindSegment(table, name)) return *entry;
    error = NoSectionText(name) + " (see: pelorin-cli sections)";
    return std::nullopt;
}

}  // namespace pelorin::cli
