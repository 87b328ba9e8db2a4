// Command-line options of pelorin-sim, the simulated board behind a pseudo-terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/target_model.h"

namespace pelorin::sim {

struct SimOptions {
    std::string link;  // symbolic link to the pseudo-terminal, if any
    std::string flashPath = "pelorin-sim-flash.bin";
    std::optional<size_t> flashSize;  // default: the file's size, or 2 MiB for a new file
    uint8_t fill = 0xFF;              // content of a new flash file
    unsigned crystalKhz = 27000;
    double paceFactor = 1.0;  // line speed multiplier; 0 = unpaced
    TargetFaults faults;
    bool once = false;
    bool logReceived = false;    // log the bytes taken from the host, with the monotonic clock
    uint64_t vanishAfter = 0;    // bytes of one operation before the board vanishes; 0 = never
    unsigned reenumerateMs = 0;  // the port's absence after each operation; 0 = none
    uint64_t freezeAfter = 0;    // bytes of one operation before it stops reading; 0 = never
    std::string imagesDir;
    unsigned promptMs = 100;
    unsigned eraseUsPerKiB = 0;
    unsigned writeUsPerKiB = 0;
    unsigned copyUsPerKiB = 0;
    bool help = false;
    bool version = false;
};

inline constexpr size_t kDefaultFlashBytes = 2u << 20;

// Fills `options` from the command line; false with `error` set on a bad option or value.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

// The usage text printed by --help.
std::string SimUsage();

}  // namespace pelorin::sim
