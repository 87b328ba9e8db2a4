// Error texts from errno.
#include <cerrno>
#include <cstring>

#include "config/system_error.h"

namespace pelorin {

std::string SystemErrorText(unsigned long code) {
    char buffer[256];
    const int number = static_cast<int>(code);
    // The GNU strerror_r may return a static text instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return ::strerror_r(number, buffer, sizeof buffer);
#else
    if (::strerror_r(number, buffer, sizeof buffer) != 0) return "error " + std::to_string(code);
    return buffer;
#endif
}

std::string LastSystemErrorText() {
    return SystemErrorText(static_cast<unsigned long>(errno));
}

}  // namespace pelorin
