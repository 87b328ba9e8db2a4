// Kinds of POSIX errors on a port.
#include <cerrno>

#include "serial/port_error.h"

namespace pelorin {

PortErrorKind PortErrorKindOf(int code) {
    return code == EACCES || code == EPERM ? PortErrorKind::PermissionDenied : PortErrorKind::Other;
}

}  // namespace pelorin
