// Message ids that cross threads, all with two integer parameters.
#pragma once

#include <cstdint>

#include "serial/comm_messages.h"  // kWmUser and the WM_COMM_* notifications

namespace pelorin {

// Requester -> worker.
inline constexpr uint32_t WM_SESSION_OPEN_PORT = kWmUser + 230;  // crystal kHz; port number
inline constexpr uint32_t WM_SESSION_STOP = kWmUser + 231;       // 0; 0

// Worker -> owner.
inline constexpr uint32_t WM_SESSION_UPDATE = kWmUser + 232;      // kind; letter or percent
inline constexpr uint32_t WM_SESSION_FINISHED = kWmUser + 233;    // 0; 0
inline constexpr uint32_t WM_SESSION_SEND_BEGIN = kWmUser + 234;  // bytes of a long write; 0
inline constexpr uint32_t WM_SESSION_SEND_END = kWmUser + 235;    // 0; 0
// The port's device vanished mid-operation; the worker has closed the port.
inline constexpr uint32_t WM_SESSION_PORT_LOST = kWmUser + 236;  // port; system error number

// Kinds of WM_SESSION_UPDATE.
inline constexpr uint64_t kUpdateStage = 0;
inline constexpr uint64_t kUpdateMain = 1;
inline constexpr uint64_t kUpdateSub = 2;

}  // namespace pelorin
