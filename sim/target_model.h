// A model of the target board: its boot ROM, the boot loader and the DRAM loader, as seen
// from the serial line. No I/O of its own: the owner feeds it what the host sent (with the
// line speed the host sent it at) and takes what the target sends back.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/target_images.h"

namespace pelorin::sim {

// Faults the model can play. Each is off by default.
struct TargetFaults {
    char silentAt = 0;  // stop talking when this stage is reached
                        // ('A','B','S','V','D','K','F','G','H','I'; 'U' = boot loader never runs)
    bool wrongDramCheck = false;  // 'v' frame carries a wrong check byte
    bool wrongDataCheck = false;  // 'w' frame carries a wrong check byte
    bool corruptData = false;     // data member does not inflate: 'e' 'N'
    bool rejectHardware = false;  // hardware version rejected: 'c' 'P'
    unsigned noiseBytes = 0;      // bytes of noise (never 0xFE) sent between frames
    bool splitFrames = false;     // frames leave in two separate chunks
    bool dumpAfterG = false;      // dump data leaves in the same chunk as the 'G' frame
    // Flash offset whose byte flips (all bits) each time a Download has written its section,
    // as a failing flash cell would: a later Dump reads it changed.
    std::optional<uint32_t> corruptFlashByte;
};

struct TargetConfig {
    unsigned crystalKhz = 27000;  // the board's crystal: picks the boot ROM's line speed
    std::vector<uint8_t> flash = std::vector<uint8_t>(2u << 20, 0xFF);
    TargetFaults faults;
    TargetImages images;  // what the board expects to be uploaded
    // Simulated flash time, microseconds per KiB of the section (0: instant).
    unsigned eraseUsPerKiB = 0;
    unsigned writeUsPerKiB = 0;
    unsigned copyUsPerKiB =
        0;  // reading flash: the Dump's copy, the Erase's preparation and verify
    // Real time the boot loader takes to start before it speaks at 115200: the host needs it
    // to reopen its port at the new speed.
    unsigned loaderStartMs = 50;
    // Real pause between the two halves of a split frame, so they reach the host in two reads.
    unsigned splitGapMs = 20;
};

// The boot ROM's line speed for a crystal (kHz); the board's own table, kept apart from the
// host's on purpose so that a wrong host table shows up as a failed session.
unsigned BootRomBaud(unsigned crystalKhz);
inline constexpr unsigned kLoaderBaud = 115200;

// One transmission of the target, sent after `workMs` of simulated work (flash erase,
// write, copy), which a paced simulator waits before sending.
struct TargetChunk {
    std::vector<uint8_t> bytes;
    unsigned workMs = 0;
    unsigned holdMs = 0;  // real time to wait before sending, whatever the pacing
    unsigned baud = 0;    // the speed the target sends it at
};

class TargetModel {
  public:
    explicit TargetModel(TargetConfig config);

    // Power-on: back to the boot ROM, which prompts with 'X'.
    void Reset();
    // The boot ROM prompts again while it waits for an answer; does nothing in later stages.
    void Prompt();
    // Bytes the host sent at `baud`. Bytes at a speed the current stage does not expect are
    // garbage to the target.
    void Receive(const uint8_t* data, size_t length, unsigned baud);
    // Takes the next transmission; false when none is waiting.
    bool TakeOutput(TargetChunk& chunk);

    // The stage letter the target is at: 'X' while the boot ROM waits, 'U' while it takes the
    // boot block, then the letter of the last stage it announced.
    char Stage() const;
    // The speed the target listens (and talks) at now: the crystal's, then 115200.
    unsigned LineBaud() const;
    // True while the boot ROM waits for the host's answer to its prompt.
    bool AwaitingAnswer() const;
    // True once the operation ended ('O', 'P', 'N' sent or a dump fully queued). A target
    // that fell silent (fault or rejected upload) is not finished.
    bool Finished() const;
    // True once the target stopped talking: a silence fault, or an upload it could not run.
    // Only Reset brings it back.
    bool Silent() const;
    const std::vector<uint8_t>& Flash() const;
    // Each stage the target reaches, and each fault it plays, as one line of text.
    void SetLog(std::function<void(const std::string&)> log);

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace pelorin::sim
