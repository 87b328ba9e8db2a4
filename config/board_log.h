// The production line's log: one CSV row per board operation, appended by every process that
// shares the file. Every row stays on one physical line and opens safely in a spreadsheet.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "config/append_lock.h"

namespace pelorin {

struct BoardLogRecord {
    std::chrono::system_clock::time_point started;  // the boot ROM answered
    std::string port;                               // as the operator named it
    std::string device;                             // the device path behind it
    std::string operation;                          // Download, Erase, Dump
    std::string chip;
    std::string crystal;  // MHz
    std::string section;
    std::string file;        // absolute path
    std::string sha256;      // of the bytes the board was sent, or of the dump; empty when none
    uint64_t wireBytes = 0;  // bytes that left the host for this board
    double seconds = 0;
    std::string result;  // completed, timed-out, ...
    std::string message;
    std::string verify;  // passed, failed, not done; empty when not asked for
    // Columns added later, at the end.
    std::string verifyDetail;     // what the comparison found, or why it was not done
    std::string hardwareVersion;  // the hardware version the board was answered, hexadecimal
    std::string adapterSerial;    // the USB adapter's serial number, where known
    std::string adapterById;      // the adapter's stable by-id path, where known
    std::string station;          // host name of the computer
    std::chrono::system_clock::time_point ended;
};

// How long a row waits for another process's lock on the log.
inline constexpr std::chrono::milliseconds kBoardLogLockWait{5000};

// "2024-05-01T09:30:00Z".
std::string Iso8601Utc(std::chrono::system_clock::time_point time);
// A cell as a spreadsheet and a CSV reader take it safely: line breaks become spaces, bytes
// that are no UTF-8 are written as \xNN, and a leading '=', '+', '-', '@', tab or CR (a
// formula to a spreadsheet) gets an apostrophe before it.
std::string SafeCell(const std::string& text);
std::string BoardLogHeader();
std::string BoardLogRow(const BoardLogRecord& record);

class BoardLog {
  public:
    // Opens and checks the log before any board is touched (see AppendFile::Open).
    static std::optional<BoardLog> Open(const std::filesystem::path& path,
                                        const std::filesystem::path& notThis, std::string& error);
    // Appends the row (and the header to a new file), on disk when it returns. Error text or
    // empty.
    std::string Append(const BoardLogRecord& record, const std::function<bool()>& stop = {});

  private:
    explicit BoardLog(AppendFile file) : file_(std::move(file)) {}
    AppendFile file_;
};

}  // namespace pelorin
