// Message ids that cross threads, all with two integer parameters.
#pragma once

#include <cstdint>

namespace pelorin {

inline constexpr uint32_t kWmUser = 1024;

// Requester -> worker.
inline constexpr uint32_t WM_SESSION_OPEN_PORT = kWmUser + 230;  // crystal kHz; port number
inline constexpr uint32_t WM_SESSION_STOP = kWmUser + 231;       // 0; 0

// Worker -> owner.
inline constexpr uint32_t WM_SESSION_UPDATE = kWmUser + 232;      // kind; letter or percent
inline constexpr uint32_t WM_SESSION_FINISHED = kWmUser + 233;    // 0; 0
inline constexpr uint32_t WM_SESSION_SEND_BEGIN = kWmUser + 234;  // bytes of a long write; 0
inline constexpr uint32_t WM_SESSION_SEND_END = kWmUser + 235;    // 0; 0

// Kinds of WM_SESSION_UPDATE.
inline constexpr uint64_t kUpdateStage = 0;
inline constexpr uint64_t kUpdateMain = 1;
inline constexpr uint64_t kUpdateSub = 2;

// Port monitor -> worker: wParam is the port number.
inline constexpr uint32_t WM_COMM_RXCHAR = kWmUser + 618;
inline constexpr uint32_t WM_COMM_CTS = kWmUser + 619;
inline constexpr uint32_t WM_COMM_DSR = kWmUser + 621;
inline constexpr uint32_t WM_COMM_RING = kWmUser + 623;
inline constexpr uint32_t WM_COMM_RLSD = kWmUser + 624;
inline constexpr uint32_t WM_COMM_BREAK = kWmUser + 625;
inline constexpr uint32_t WM_COMM_TXEMPTY = kWmUser + 626;
inline constexpr uint32_t WM_COMM_ERR = kWmUser + 627;

}  // namespace pelorin
