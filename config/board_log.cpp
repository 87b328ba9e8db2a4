// Rows of the production line's log.
#include "config/board_log.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "config/csv.h"

namespace pelorin {
namespace {

// The first fourteen are the log's original columns, in their order; later ones follow them.
constexpr std::string_view kColumns[] = {
    "time",    "port",   "device",        "operation",        "chip",           "crystal",
    "section", "file",   "sha256",        "wire bytes",       "seconds",        "result",
    "message", "verify", "verify detail", "hardware version", "adapter serial", "adapter by-id",
    "station", "end"};

// Length of the UTF-8 sequence at `i`, 0 when the bytes there are no valid one.
size_t Utf8Length(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    size_t n = 0;
    uint32_t min = 0;
    if ((c & 0xE0) == 0xC0)
        n = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, min = 0x10000;
    else
        return 0;
    if (i + n > s.size()) return 0;
    uint32_t code = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        code = code << 6 | (b & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string Iso8601Utc(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    // Calendar arithmetic of the standard library: no platform's gmtime variant needed.
    const auto day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(floor<seconds>(time - day));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

std::string SafeCell(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            // A multi-line message reads as one line; indentation of the next line goes too.
            while (i < text.size() && (text[i] == '\r' || text[i] == '\n' || text[i] == ' ')) ++i;
            if (!out.empty() && i < text.size()) out += ' ';
            continue;
        }
        const size_t n = Utf8Length(text, i);
        if (n == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X",
                          unsigned(static_cast<unsigned char>(c)));
            out += escaped;
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    if (!out.empty() && std::string_view("=+-@\t\r").find(out.front()) != std::string_view::npos)
        out.insert(out.begin(), '\'');
    return out;
}

std::string BoardLogHeader() {
    return CsvRow(std::vector<std::string>(std::begin(kColumns), std::end(kColumns)));
}

std::string BoardLogRow(const BoardLogRecord& r) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    std::vector<std::string> cells = {Iso8601Utc(r.started),
                                      r.port,
                                      r.device,
                                      r.operation,
                                      r.chip,
                                      r.crystal,
                                      r.section,
                                      r.file,
                                      r.sha256,
                                      std::to_string(r.wireBytes),
                                      seconds,
                                      r.result,
                                      r.message,
                                      r.verify,
                                      r.verifyDetail,
                                      r.hardwareVersion,
                                      r.adapterSerial,
                                      r.adapterById,
                                      r.station,
                                      Iso8601Utc(r.ended)};
    for (std::string& cell : cells) cell = SafeCell(cell);
    return CsvRow(cells);
}

std::optional<BoardLog> BoardLog::Open(const std::filesystem::path& path,
                                       const std::filesystem::path& notThis, std::string& error) {
    auto file = AppendFile::Open(path, notThis, error);
    if (!file) return std::nullopt;
    return BoardLog(std::move(*file));
}

std::string BoardLog::Append(const BoardLogRecord& record, const std::function<bool()>& stop) {
    return file_.Append(BoardLogHeader(), BoardLogRow(record), kBoardLogLockWait, stop);
}

}  // namespace pelorin
