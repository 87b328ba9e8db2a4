// The production line's log: one CSV row per board operation, appended by every process that
// shares the file.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace pelorin {

struct BoardLogRecord {
    std::chrono::system_clock::time_point started;
    std::string port;       // as the operator named it
    std::string device;     // the device path behind it
    std::string operation;  // Download, Erase, Dump
    std::string chip;
    std::string crystal;  // MHz
    std::string section;
    std::string file;
    std::string sha256;  // of the file; empty when there is none
    uint64_t wireBytes = 0;
    double seconds = 0;
    std::string result;  // completed, timed-out, ...
    std::string message;
    std::string verify;  // empty when not asked for
};

// "2024-05-01T09:30:00Z".
std::string Iso8601Utc(std::chrono::system_clock::time_point time);
std::string BoardLogHeader();
std::string BoardLogRow(const BoardLogRecord& record);
// Appends the row (and the header to a new file), on disk when it returns. Error text or empty.
std::string AppendBoardLog(const std::filesystem::path& path, const BoardLogRecord& record);

}  // namespace pelorin
