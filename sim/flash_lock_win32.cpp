// The flash lock on Windows: LockFileEx on the lock file, which the system drops with the
// handle.
#include <windows.h>

#include <filesystem>

#include "config/system_error.h"
#include "sim/flash_lock.h"

namespace pelorin::sim {

std::optional<FlashLock> FlashLock::Take(const std::string& flashPath, std::string& error) {
    const std::string lockPath = flashPath + kFlashLockSuffix;
    const HANDLE file =
        CreateFileW(std::filesystem::path(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "can't open the flash lock " + lockPath + ": " + LastSystemErrorText();
        return std::nullopt;
    }
    OVERLAPPED first{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first)) {
        error = GetLastError() == ERROR_LOCK_VIOLATION
                    ? FlashBusyText(flashPath)
                    : "can't lock the flash lock " + lockPath + ": " + LastSystemErrorText();
        CloseHandle(file);
        return std::nullopt;
    }
    return FlashLock(reinterpret_cast<intptr_t>(file));
}

void FlashLock::Release() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace pelorin::sim
