// The layout helper's system calls on Windows: the processes that run the program file are
// found by the file's identity and waited for by their handles; the file is replaced with
// MoveFileEx, which swaps the name over in one step.
#include <windows.h>
// windows.h first: the snapshot header needs its types.
#include <tlhelp32.h>

#include <string>
#include <vector>

// windows.h names its own ReplaceFile; ours is the one the header declares.
#undef ReplaceFile

#include "config/system_error.h"
#include "tools/helper_platform.h"

namespace pelorin::helper {
namespace {

// Volume and file index: the same file whatever path or case names it.
struct FileId {
    DWORD volume = 0;
    DWORD high = 0;
    DWORD low = 0;
    bool operator==(const FileId&) const = default;
};

bool IdOf(const wchar_t* path, FileId& id) {
    HANDLE h = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (ok) id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return ok;
}

// Handles (to wait on) of the other processes whose program is that file.
std::vector<HANDLE> ProcessesRunning(const FileId& program) {
    std::vector<HANDLE> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (bool more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self || entry.th32ProcessID == 0) continue;
        // Processes of other users give no answer here; neither can hold our file.
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                     entry.th32ProcessID);
        if (!process) continue;
        wchar_t image[MAX_PATH * 2];
        DWORD size = MAX_PATH * 2;
        FileId id;
        if (QueryFullProcessImageNameW(process, 0, image, &size) && IdOf(image, id) &&
            id == program)
            found.push_back(process);
        else
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

bool WaitForProgramToEnd(const std::filesystem::path& programPath,
                         std::chrono::milliseconds limit) {
    FileId program;
    if (!IdOf(programPath.c_str(), program)) return true;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<HANDLE> running = ProcessesRunning(program);
        if (running.empty()) return true;
        bool ended = true;
        for (HANDLE process : running) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (WaitForSingleObject(process, left.count() > 0 ? DWORD(left.count()) : 0) !=
                WAIT_OBJECT_0)
                ended = false;
            CloseHandle(process);
        }
        if (!ended) return false;
        // Look again: another copy may have started meanwhile.
    }
}

bool ReplaceFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                 std::string* error) {
    auto fail = [&](const std::string& what, DWORD code) {
        if (error) *error = what + ": " + SystemErrorText(code);
        return false;
    };
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return fail("Cannot read " + path.string(), GetLastError());
    const std::wstring temp = path.wstring() + L".new-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(GetTickCount());
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fail("Cannot create a file beside " + path.string(), GetLastError());
    bool ok = true;
    while (ok && !bytes.empty()) {
        DWORD written = 0;
        ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written > 0;
        if (ok) bytes = bytes.subspan(written);
    }
    ok = ok && FlushFileBuffers(h);
    DWORD code = ok ? 0 : GetLastError();
    if (!CloseHandle(h) && ok) {
        ok = false;
        code = GetLastError();
    }
    if (ok && !MoveFileExW(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        code = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
        return fail("Cannot replace " + path.string(), code);
    }
    return true;
}

}  // namespace pelorin::helper
