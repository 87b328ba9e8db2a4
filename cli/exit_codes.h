// Exit status of the command line, one per kind of outcome, so scripts can tell them apart.
#pragma once

namespace pelorin::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 2;       // arguments, layout, or file
inline constexpr int kExitPortFailed = 3;     // the port cannot be opened
inline constexpr int kExitTimedOut = 4;       // the target fell silent
inline constexpr int kExitTransferError = 5;  // send error, decompress error, hardware rejected
inline constexpr int kExitDeviceGone = 6;     // the serial device vanished mid-operation
inline constexpr int kExitCancelled = 130;    // Ctrl+C, a termination request, a hang-up

}  // namespace pelorin::cli
