// Exit status of the command line, one per kind of outcome, so scripts can tell them apart.
#pragma once

namespace pelorin::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 2;       // arguments, layout, or file
inline constexpr int kExitPortFailed = 3;     // the port cannot be opened
inline constexpr int kExitTimedOut = 4;       // the target fell silent
inline constexpr int kExitTransferError = 5;  // send error, decompress error, hardware rejected
inline constexpr int kExitDeviceGone = 6;     // the serial device vanished mid-operation
inline constexpr int kExitVerifyFailed = 7;   // the flash read back differs from what was sent
inline constexpr int kExitLogFailed = 8;      // a board's row could not be written to --log
inline constexpr int kExitCancelled = 130;    // Ctrl+C, a termination request, a hang-up

// Several boards end with the most severe of their statuses, most severe first: a board that
// has no record in the log, a board that looks done but holds wrong data, then a board that refused
// or broke off the transfer, one that fell silent, one whose adapter went away, a port that never
// opened, input refused, and last the operator's own cancel. 0 only when every board completed.
inline constexpr int kSeverityOrder[] = {kExitLogFailed, kExitVerifyFailed, kExitTransferError,
                                         kExitTimedOut,  kExitDeviceGone,   kExitPortFailed,
                                         kExitBadInput,  kExitCancelled};

constexpr int SeverityRank(int code) {
    int rank = 0;
    for (int c : kSeverityOrder) {
        if (c == code) return rank;
        ++rank;
    }
    return code == kExitOk ? rank + 1 : 0;  // an unknown failure counts as the worst
}

constexpr int MostSevere(int a, int b) {
    return SeverityRank(a) <= SeverityRank(b) ? a : b;
}

}  // namespace pelorin::cli
