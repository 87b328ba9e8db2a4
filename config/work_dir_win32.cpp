// The working tree on Windows: a per-user folder that only its owner may open, per-instance
// folders kept with a locked file (LockFileEx), and deletion that removes links (junctions,
// symbolic links) as entries and never descends through them.
#include <windows.h>
// windows.h first: the security headers need its types.
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "config/file_io.h"
#include "config/work_dir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kInstancePrefix = L"run-";
constexpr const wchar_t* kLockName = L".lock";
constexpr int kInstanceAttempts = 8;

struct Entry {
    std::wstring name;
    DWORD attributes;
};

std::vector<Entry> EntriesOf(const fs::path& dir) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((dir / L"*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back({name, found.dwFileAttributes});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes one entry that is not a real directory: a file, or a link of either kind as itself.
void RemoveNonDirectory(const fs::path& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(path.c_str());
    else
        DeleteFileW(path.c_str());
}

void EmptyDirectory(const fs::path& dir) {
    for (const Entry& e : EntriesOf(dir)) {
        const fs::path path = dir / e.name;
        if ((e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(e.attributes)) {
            EmptyDirectory(path);
            RemoveDirectoryW(path.c_str());
        } else {
            RemoveNonDirectory(path, e.attributes);
        }
    }
}

// A real directory (no link) at `path`.
bool IsRealDirectory(const fs::path& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(a);
}

bool MakeOwnDirectory(const fs::path& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (IsRealDirectory(path)) return true;
    RemoveNonDirectory(path, GetFileAttributesW(path.c_str()));
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

// The calling user's security identifier, as a token buffer that owns it.
struct UserSid {
    std::vector<uint8_t> buffer;
    PSID sid() const { return reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid; }
};

bool CurrentUser(UserSid& out) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    out.buffer.resize(size);
    const bool ok =
        size > 0 && GetTokenInformation(token, TokenUser, out.buffer.data(), size, &size);
    CloseHandle(token);
    return ok;
}

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring s = text;
    LocalFree(text);
    return s;
}

// A protected access list: the user alone, with everything below inheriting it.
struct PrivateAcl {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ~PrivateAcl() {
        if (descriptor) LocalFree(descriptor);
    }
    bool Build(const std::wstring& sid) {
        const std::wstring sddl = L"D:P(A;OICI;FA;;;" + sid + L")";
        return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                    &descriptor, nullptr) != 0;
    }
    PACL Dacl() const {
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL acl = nullptr;
        GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
        return present ? acl : nullptr;
    }
};

// Owned by the user (or, for an elevated user, by the administrators' group that Windows then
// makes the owner of what they create).
bool OwnedBy(const fs::path& path, PSID user) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    bool ours = owner && EqualSid(owner, user);
    if (!ours && owner) {
        BYTE adminsBuffer[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof adminsBuffer;
        if (CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, adminsBuffer, &size)) {
            BOOL member = FALSE;
            ours = EqualSid(owner, adminsBuffer) &&
                   CheckTokenMembership(nullptr, adminsBuffer, &member) && member;
        }
    }
    LocalFree(sd);
    return ours;
}

}  // namespace

size_t SweepEndedRuns(const std::filesystem::path& userDir) {
    size_t removed = 0;
    for (const Entry& e : EntriesOf(userDir)) {
        if (e.name.rfind(kInstancePrefix, 0) != 0 || !(e.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            IsLink(e.attributes))
            continue;
        const fs::path dir = userDir / e.name;
        // A folder without its lock is still being set up by its instance: leave it.
        HANDLE lock = CreateFileW((dir / kLockName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (lock == INVALID_HANDLE_VALUE) continue;
        OVERLAPPED at{};
        const bool ended =
            LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
        CloseHandle(lock);
        if (ended && DeleteTree(dir)) ++removed;
    }
    return removed;
}

namespace {

// The folder at `dir` exists or is made, is a real folder, is the user's, and is shut to
// everybody else.
bool MakePrivate(const fs::path& dir, const UserSid& user, const PrivateAcl& acl) {
    SECURITY_ATTRIBUTES sa{sizeof sa, acl.descriptor, FALSE};
    if (!CreateDirectoryW(dir.c_str(), &sa) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (!IsRealDirectory(dir) || !OwnedBy(dir, user.sid())) return false;
    // An existing folder may have been opened up since: shut it again.
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(dir.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, acl.Dacl(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

UserDirResult PrivateUserDir(const char* runtimeDirEnv, const char* tmpdirEnv) {
    // Windows has no per-session runtime folder; the user's temporary folder serves.
    (void)runtimeDirEnv;
    return PrivateUserDir(tmpdirEnv);
}

UserDirResult PrivateUserDir(const char* tmpdirEnv) {
    fs::path base;
    if (tmpdirEnv && *tmpdirEnv && IsRealDirectory(fs::path(tmpdirEnv))) base = tmpdirEnv;
    if (base.empty()) {
        wchar_t temp[MAX_PATH + 1];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH) return {{}, "Cannot find the temporary folder"};
        base = temp;
    }
    UserSid user;
    if (!CurrentUser(user)) return {{}, "Cannot identify the user: " + LastSystemErrorText()};
    const std::wstring sid = SidText(user.sid());
    PrivateAcl acl;
    if (sid.empty() || !acl.Build(sid))
        return {{}, "Cannot describe a private folder: " + LastSystemErrorText()};

    // The user's identifier names the folder: user names may clash after case folding.
    const std::wstring name = L"pelorin-" + sid;
    const fs::path dir = base / name;
    if (MakePrivate(dir, user, acl)) return {dir, {}};
    // The name is held by something else (another user's folder, a link, a file): leave it
    // alone and use a private folder beside it, an earlier one of the user's if there is one.
    for (const Entry& e : EntriesOf(base)) {
        if (e.name.rfind(name + L"-", 0) != 0 || e.name.size() != name.size() + 7) continue;
        if ((e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(e.attributes) &&
            MakePrivate(base / e.name, user, acl))
            return {base / e.name, {}};
    }
    std::random_device random;
    for (int attempt = 0; attempt < kInstanceAttempts; ++attempt) {
        std::wstring suffix;
        for (int i = 0; i < 6; ++i)
            suffix += L"abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        const fs::path other = base / (name + L"-" + suffix);
        if (GetFileAttributesW(other.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        if (MakePrivate(other, user, acl)) return {other, {}};
    }
    return {{},
            dir.string() + " belongs to another user or cannot be made private, and no " +
                "private folder could be made beside it"};
}

std::optional<WorkDir> WorkDir::Open(const std::filesystem::path& userDir, std::string* error) {
    SweepEndedRuns(userDir);
    std::random_device random;
    for (int attempt = 0; attempt < kInstanceAttempts; ++attempt) {
        const fs::path dir = userDir / (kInstancePrefix + std::to_wstring(GetCurrentProcessId()) +
                                        L"-" + std::to_wstring(random() % 1000000u));
        if (!CreateDirectoryW(dir.c_str(), nullptr)) {
            if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
            if (error)
                *error = "Cannot create a working folder in " + userDir.string() + ": " +
                         LastSystemErrorText();
            return std::nullopt;
        }
        // Others may open the lock to test it, never delete it while it is held.
        HANDLE lock = CreateFileW((dir / kLockName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (lock == INVALID_HANDLE_VALUE) continue;  // swept away by a starting instance
        OVERLAPPED at{};
        if (LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            return WorkDir(WorkPathsFor(dir), reinterpret_cast<intptr_t>(lock));
        CloseHandle(lock);
    }
    if (error) *error = "Cannot set up a working folder in " + userDir.string();
    return std::nullopt;
}

void WorkDir::Release() {
    if (lock_ == -1) return;
    // The lock cannot be deleted while held open: look first, close, then remove.
    const auto entries = EntriesOf(paths_.tempDir);
    CloseHandle(reinterpret_cast<HANDLE>(lock_));
    lock_ = -1;
    // The helper may still need its file here; then the next start sweeps the folder.
    if (entries.size() == 1 && entries[0].name == kLockName) {
        DeleteFileW((paths_.tempDir / kLockName).c_str());
        RemoveDirectoryW(paths_.tempDir.c_str());
    }
}

bool DeleteTree(const std::filesystem::path& dir) {
    const DWORD a = GetFileAttributesW(dir.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY) || IsLink(a)) {
        if (IsLink(a)) RemoveNonDirectory(dir, a);
        return false;
    }
    EmptyDirectory(dir);
    return RemoveDirectoryW(dir.c_str()) != 0;
}

bool CreateWorkTree(const WorkPaths& paths) {
    return MakeOwnDirectory(paths.outerDir) && MakeOwnDirectory(paths.innerDir);
}

void CleanUpWorkFiles(const WorkPaths& paths, bool dataPrepared) {
    DeleteFileW(paths.layoutPath.c_str());
    if (dataPrepared) {
        DeleteFileW(paths.dataFilePath.c_str());
        DeleteFileW((paths.dataFilePath.wstring() + L".gz").c_str());
    }
    RemoveDirectoryW(paths.innerDir.c_str());
    RemoveDirectoryW(paths.outerDir.c_str());
}

}  // namespace pelorin
