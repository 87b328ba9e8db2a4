// Appending records on Windows: FILE_APPEND_DATA puts every write at the end, LockFileEx keeps
// another writer's header check and write from slipping between ours, FlushFileBuffers makes
// the row survive a power cut at the next board.
#include <windows.h>

#include "config/append_lock.h"
#include "config/file_io.h"

namespace pelorin {
namespace {

std::string ErrorText(const std::filesystem::path& path, const char* what) {
    return "Can't " + std::string(what) + " the log " + path.string() + ": " +
           LastSystemErrorText();
}

std::string AppendLocked(HANDLE file, const std::filesystem::path& path, std::string_view header,
                         std::string_view record) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return ErrorText(path, "read");
    std::string text;
    if (size.QuadPart == 0) text = header;
    text += record;
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        return ErrorText(path, "write");
    if (!FlushFileBuffers(file)) return ErrorText(path, "flush");
    return {};
}

}  // namespace

std::string AppendRecordLocked(const std::filesystem::path& path, std::string_view header,
                               std::string_view record) {
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ErrorText(path, "open");
    OVERLAPPED whole{};
    std::string error;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error = AppendLocked(file, path, header, record);
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    } else {
        error = ErrorText(path, "lock");
    }
    CloseHandle(file);
    return error;
}

}  // namespace pelorin
