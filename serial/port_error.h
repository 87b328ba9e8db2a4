// What a system error met on a port means to the operator, beside its text: whether the
// account may not open the device (on Linux, not in the group that owns serial devices).
#pragma once

namespace pelorin {

enum class PortErrorKind { None, PermissionDenied, Other };

// The kind of the system error `code` (errno, or the system's last-error code on Windows).
PortErrorKind PortErrorKindOf(int code);

}  // namespace pelorin
