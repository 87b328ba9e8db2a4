// Whether a device is held under the exclusive lock the serial port takes on it, asked without
// opening the device: opening a terminal raises its modem lines, which must not happen to a
// board another program is talking to. Only a hint; the lock taken on the open descriptor
// decides. Used by comm_posix.cpp; lives in device_lock_linux.cpp.
#pragma once

#include <string>

namespace pelorin {

// True when some open file, in this process or another, holds a lock on the device `path`
// names. False when that cannot be told.
bool DeviceLockHeld(const std::string& path);

}  // namespace pelorin
