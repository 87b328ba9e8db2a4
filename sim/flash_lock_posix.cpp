// The flash lock on POSIX: flock on the lock file, which the kernel drops with the descriptor.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "config/system_error.h"
#include "sim/flash_lock.h"

namespace pelorin::sim {

std::optional<FlashLock> FlashLock::Take(const std::string& flashPath, std::string& error) {
    const std::string lockPath = flashPath + kFlashLockSuffix;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "can't open the flash lock " + lockPath + ": " + LastSystemErrorText();
        return std::nullopt;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK
                    ? FlashBusyText(flashPath)
                    : "can't lock the flash lock " + lockPath + ": " + LastSystemErrorText();
        ::close(fd);
        return std::nullopt;
    }
    return FlashLock(fd);
}

void FlashLock::Release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace pelorin::sim
