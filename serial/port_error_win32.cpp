// Kinds of Windows errors on a port. Access denied on a COM port means that another program
// holds it, not a missing right: no kind of its own.
#include "serial/port_error.h"

namespace pelorin {

PortErrorKind PortErrorKindOf(int) {
    return PortErrorKind::Other;
}

}  // namespace pelorin
