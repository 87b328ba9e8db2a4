// Notifications the port monitor posts to the port's owner thread, and the base of every
// message id that crosses threads. wParam is always the port number.
#pragma once

#include <cstdint>

namespace pelorin {

inline constexpr uint32_t kWmUser = 1024;

// Port monitor -> owner of the port.
inline constexpr uint32_t WM_COMM_RXCHAR = kWmUser + 618;   // port; 0
inline constexpr uint32_t WM_COMM_CTS = kWmUser + 619;      // port; 1 if CTS is on
inline constexpr uint32_t WM_COMM_DSR = kWmUser + 621;      // port; 1 if DSR is on
inline constexpr uint32_t WM_COMM_RING = kWmUser + 623;     // port; 0
inline constexpr uint32_t WM_COMM_RLSD = kWmUser + 624;     // port; 0
inline constexpr uint32_t WM_COMM_BREAK = kWmUser + 625;    // port; 0
inline constexpr uint32_t WM_COMM_TXEMPTY = kWmUser + 626;  // port; 0
inline constexpr uint32_t WM_COMM_ERR = kWmUser + 627;      // port; kCommErr* bits
// The device hung up or vanished: posted once per opening, after which reads and writes return
// 0 until the port is opened again.
inline constexpr uint32_t WM_COMM_GONE = kWmUser + 628;  // port; the errno value

// Line error bits carried by WM_COMM_ERR (the values the Windows port reports as CE_*).
inline constexpr int64_t kCommErrRxOver = 0x0001;   // input buffer overflow
inline constexpr int64_t kCommErrOverrun = 0x0002;  // hardware overrun
inline constexpr int64_t kCommErrParity = 0x0004;
inline constexpr int64_t kCommErrFrame = 0x0008;
inline constexpr int64_t kCommErrBreak = 0x0010;

}  // namespace pelorin
