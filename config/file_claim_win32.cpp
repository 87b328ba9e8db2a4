// Claims as byte-range locks on the file's first byte: they end with the process that holds
// them, however it ends.
#include <windows.h>

#include "config/file_claim.h"

namespace pelorin {
namespace {

HANDLE OpenShared(const std::filesystem::path& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

std::unique_ptr<FileClaim> FileClaim::Take(const std::filesystem::path& path) {
    auto handle = std::make_unique<Handle>();
    handle->file = OpenShared(path);
    if (handle->file == INVALID_HANDLE_VALUE ||
        !LockFirstByte(handle->file, LOCKFILE_EXCLUSIVE_LOCK))
        return nullptr;
    return std::unique_ptr<FileClaim>(new FileClaim(std::move(handle)));
}

bool FileClaimed(const std::filesystem::path& path) {
    const HANDLE file = OpenShared(path);
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
