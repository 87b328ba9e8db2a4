// The command line's arguments, parsed into one record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/compression.h"

namespace pelorin::cli {

enum class Command { Download, Erase, Dump, Ports, Chips, Sections, Help, Version };

struct CliOptions {
    Command command = Command::Help;
    std::string file;                // download input or dump output
    std::string port;                // the first of `ports`
    std::vector<std::string> ports;  // each COMn, a number, or a device path; in given order
    unsigned chipPosition = 0;       // list position, QV101 first
    unsigned crystalKhz = 27000;
    uint8_t memoryType = 0;  // 0 SDRAM, 1 DDRAM
    uint8_t memorySize = 0;  // 0 64Mbit .. 3 512Mbit
    uint8_t sdramMode = 0;   // 0 full-page, 1 burst
    std::string section;     // empty: the first section
    std::string layoutFile;  // empty: the layout carried by the program, else the default
    std::string imagesDir;   // replacement loader images
    unsigned giveUpSeconds = 30;
    unsigned tickMs = 1000;  // watchdog tick; shorter only for tests
    bool repeat = false;     // each port runs again on the next board until cancelled
    bool verify = false;     // a Download is dumped back and compared
    std::string logFile;     // CSV log, one row per board; empty: none
    std::optional<Compression> compression;  // empty: the layout's choice, else the default
    bool quiet = false;
    bool json = false;
    Command helpFor = Command::Help;  // with Command::Help: the command whose help to print
};

// Longest give-up time: a day. Larger values would only hide a dead board.
inline constexpr unsigned kMaxGiveUpSeconds = 86400;

struct ParseResult {
    std::optional<CliOptions> options;
    std::string error;                // set when options is empty
    Command command = Command::Help;  // the command the error concerns, when known
    bool json = false;                // --json was among the arguments
    bool noArguments = false;
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();
// The help of one command (download, erase, dump, ports, chips, sections).
std::string CommandHelpText(Command command);
// "Try 'pelorin-cli [COMMAND] --help'." for an argument error.
std::string HelpPointer(Command command);

// Value tables the options accept, in the window's list order.
inline constexpr const char* kCrystalNames[] = {"27", "13.5", "16", "8", "4"};
inline constexpr unsigned kCrystalKhz[] = {27000, 13500, 16000, 8000, 4000};
inline constexpr const char* kMemoryTypeNames[] = {"SDRAM", "DDRAM"};
inline constexpr const char* kMemorySizeNames[] = {"64Mbit", "128Mbit", "256Mbit", "512Mbit"};
inline constexpr const char* kSdramModeNames[] = {"full-page", "burst"};

}  // namespace pelorin::cli
