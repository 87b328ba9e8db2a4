// Claims as byte-range locks on the file's first byte: they end with the process that holds
// them, however it ends. The file may still be read, written and deleted by others: the holder
// (the layout helper) deletes it once done.
#include <windows.h>

#include "config/file_claim.h"
#include "config/system_error.h"

namespace pelorin {
namespace {

HANDLE OpenShared(const std::filesystem::path& path, bool create) {
    return CreateFileW(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool LockFirstByte(HANDLE file, DWORD flags) {
    OVERLAPPED at{};
    return LockFileEx(file, flags | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

}  // namespace

struct FileClaim::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
};

FileClaim::FileClaim(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
FileClaim::~FileClaim() = default;

std::unique_ptr<FileClaim> FileClaim::Claim(const std::filesystem::path& path, bool create,
                                            Failure& failure, std::string& error) {
    auto handle = std::make_unique<Handle>();
    handle->file = OpenShared(path, create);
    if (handle->file == INVALID_HANDLE_VALUE) {
        failure = Failure::CannotOpen;
    } else if (!LockFirstByte(handle->file, LOCKFILE_EXCLUSIVE_LOCK)) {
        failure = GetLastError() == ERROR_LOCK_VIOLATION ? Failure::Busy : Failure::CannotLock;
    } else {
        failure = Failure::None;
        return std::unique_ptr<FileClaim>(new FileClaim(std::move(handle)));
    }
    error = LastSystemErrorText();
    return nullptr;
}

bool FileClaimed(const std::filesystem::path& path) {
    const HANDLE file = OpenShared(path, false);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool claimed = !LockFirstByte(file, 0);
    if (!claimed) {
        OVERLAPPED at{};
        UnlockFileEx(file, 0, 1, 0, &at);
    }
    CloseHandle(file);
    return claimed;
}

}  // namespace pelorin
