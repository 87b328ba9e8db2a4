// Rows of the production line's log.
#include "config/board_log.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "config/append_lock.h"
#include "config/csv.h"

namespace pelorin {
namespace {

constexpr std::string_view kColumns[] = {"time",    "port",    "device",  "operation", "chip",
                                         "crystal", "section", "file",    "sha256",    "wire bytes",
                                         "seconds", "result",  "message", "verify"};

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

std::string BoardLogHeader() {
    return CsvRow(std::vector<std::string>(std::begin(kColumns), std::end(kColumns)));
}

std::string BoardLogRow(const BoardLogRecord& r) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", r.seconds);
    return CsvRow({Iso8601Utc(r.started), r.port, r.device, r.operation, r.chip, r.crystal,
                   r.section, r.file, r.sha256, std::to_string(r.wireBytes), seconds, r.result,
                   r.message, r.verify});
}

std::string AppendBoardLog(const std::filesystem::path& path, const BoardLogRecord& record) {
    return AppendRecordLocked(path, BoardLogHeader(), BoardLogRow(record));
}

}  // namespace pelorin
