// Appending records on Windows: each record is written at the file's end under LockFileEx, so
// another writer's header check and write cannot slip between ours; FlushFileBuffers makes the
// row survive a power cut at the next board. The lock is polled for a bounded time.
#include <windows.h>

#include <utility>

#include "config/append_lock.h"
#include "config/system_error.h"

namespace pelorin {
namespace {

std::string OpenError(const std::filesystem::path& path, const std::string& why) {
    return "Can't use the log " + path.string() + ": " + why;
}

bool SameFile(HANDLE file, const std::filesystem::path& other) {
    if (other.empty()) return false;
    const HANDLE h = CreateFileW(other.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool same = GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(h, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(h);
    return same;
}

bool WriteAt(HANDLE file, uint64_t offset, std::string_view text) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD written = 0;
    return WriteFile(file, text.data(), DWORD(text.size()), &written, &at) &&
           written == text.size();
}

}  // namespace

std::optional<AppendFile> AppendFile::Open(const std::filesystem::path& path,
                                           const std::filesystem::path& notThis,
                                           std::string& error) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = OpenError(path, LastSystemErrorText());
        return std::nullopt;
    }
    std::string why;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        why = "not a regular file (a directory or device)";
    else if (SameFile(file, notThis))
        why = "it is the download file " + notThis.string();
    if (!why.empty()) {
        CloseHandle(file);
        error = OpenError(path, why);
        return std::nullopt;
    }
    return AppendFile(reinterpret_cast<intptr_t>(file), path);
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

AppendFile::~AppendFile() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::string AppendFile::Append(std::string_view header, std::string_view record,
                               std::chrono::milliseconds lockWait,
                               const std::function<bool()>& stop) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED whole{};
    const std::string waited = WaitForLock(
        [file, &whole] {
            if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                           MAXDWORD, &whole))
                return LockTry::Taken;
            return GetLastError() == ERROR_LOCK_VIOLATION ? LockTry::Busy : LockTry::Failed;
        },
        lockWait, stop);
    if (!waited.empty()) return waited;
    std::string error;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        error = ErrorText("read");
    } else {
        const uint64_t end = uint64_t(size.QuadPart);
        std::string text;
        char last = '\n';
        OVERLAPPED at{};
        at.Offset = DWORD(end - 1);
        at.OffsetHigh = DWORD((end - 1) >> 32);
        DWORD got = 0;
        if (end == 0)
            text = header;
        else if (ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n')
            text = "\r\n";  // a row someone left unended stays a row of its own
        text += record;
        if (!WriteAt(file, end, text)) {
            error = ErrorText("write");
            // Part of a row would glue the next one onto it: back to where the file was.
            FILE_END_OF_FILE_INFO cut{};
            cut.EndOfFile.QuadPart = LONGLONG(end);
            SetFileInformationByHandle(file, FileEndOfFileInfo, &cut, sizeof cut);
        } else if (!FlushFileBuffers(file)) {
            error = ErrorText("flush");
        }
    }
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    return error;
}

}  // namespace pelorin
