// Error texts from errno.
#include <cerrno>
#include <system_error>

#include "config/system_error.h"

namespace pelorin {

std::string SystemErrorText(unsigned long code) {
    return std::system_category().message(static_cast<int>(code));
}

std::string LastSystemErrorText() {
    return SystemErrorText(static_cast<unsigned long>(errno));
}

}  // namespace pelorin
