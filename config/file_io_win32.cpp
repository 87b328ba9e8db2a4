// OutFile on Windows: remove what is at the path (a link itself, never its target), then
// CREATE_NEW, so a link planted in between makes the creation fail instead of being written
// through.
#include <windows.h>
// windows.h first: the security headers need its types.
#include <sddl.h>

#include <algorithm>
#include <vector>

#include "config/file_io.h"

namespace pelorin {
namespace {

// Removes the entry at `path` without following it. True when nothing is left there.
bool RemoveEntry(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A directory link (junction or symbolic) goes with RemoveDirectory, which never touches
    // what it points to; a read-only file has to lose the flag first.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            SetLastError(ERROR_DIRECTORY);
            return false;
        }
        return RemoveDirectoryW(path.c_str()) != 0;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    return DeleteFileW(path.c_str()) != 0;
}

// A security descriptor that lets the calling user alone at the file, as mode 0600 does.
class PrivateFileSecurity {
  public:
    PrivateFileSecurity() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<uint8_t> user(size);
        wchar_t* sid = nullptr;
        if (size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            const std::wstring sddl = std::wstring(L"D:P(A;;FA;;;") + sid + L")";
            ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                 &descriptor_, nullptr);
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    ~PrivateFileSecurity() {
        if (descriptor_) LocalFree(descriptor_);
    }
    PrivateFileSecurity(const PrivateFileSecurity&) = delete;
    PrivateFileSecurity& operator=(const PrivateFileSecurity&) = delete;
    // Null when it could not be built: the folder's inherited access applies then.
    SECURITY_ATTRIBUTES* Attributes() {
        attributes_ = {sizeof attributes_, descriptor_, FALSE};
        return descriptor_ ? &attributes_ : nullptr;
    }

  private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

std::optional<OutFile> OutFile::CreateReplacing(const std::filesystem::path& path,
                                                std::string* error, unsigned mode) {
    // Permissions come from the private folder the file is created in.
    (void)mode;
    if (!RemoveEntry(path)) {
        if (error) *error = "Cannot replace " + path.string() + ": " + LastSystemErrorText();
        return std::nullopt;
    }
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = "Cannot create " + path.string() + ": " + LastSystemErrorText();
        return std::nullopt;
    }
    return OutFile(reinterpret_cast<intptr_t>(h));
}

std::optional<OutFile> OutFile::CreateNew(const std::filesystem::path& path, std::string* error) {
    // CREATE_NEW fails on any entry already there, a link included. The file may sit in a
    // shared folder: only the user may open it.
    PrivateFileSecurity security;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, security.Attributes(), CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = LastSystemErrorText();
        return std::nullopt;
    }
    return OutFile(reinterpret_cast<intptr_t>(h));
}

bool OutFile::Write(std::span<const uint8_t> bytes) {
    if (handle_ == -1) return false;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) {
            failed_ = true;
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

bool OutFile::Close() {
    if (handle_ == -1) return !failed_;
    if (!CloseHandle(reinterpret_cast<HANDLE>(handle_))) failed_ = true;
    handle_ = -1;
    return !failed_;
}

}  // namespace pelorin
