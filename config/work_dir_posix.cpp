// The working tree on POSIX: the per-user directory, per-instance directories kept with flock,
// and deletion through directory descriptors so that no planted link is ever followed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/file_io.h"
#include "config/work_dir.h"

namespace pelorin {
namespace {

constexpr const char* kInstancePrefix = "run-";
constexpr const char* kLockName = ".lock";
constexpr int kInstanceAttempts = 8;

// lstat and friends follow a link named with a trailing slash, so drop it.
std::string NoTrailingSlash(const std::filesystem::path& path) {
    std::string s = path.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::vector<std::string> EntryNames(int dirFd) {
    std::vector<std::string> names;
    int listFd = ::dup(dirFd);
    if (listFd < 0) return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
}

void EmptyDirectory(int dirFd) {
    for (const std::string& name : EntryNames(dirFd)) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            int sub =
                ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                EmptyDirectory(sub);
                ::close(sub);
            }
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
}

// A directory of ours: present, not a link, owned by the calling user.
bool IsOwnDirectory(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

bool MakeOwnDirectory(const std::filesystem::path& path) {
    std::string p = NoTrailingSlash(path);
    if (::mkdir(p.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    if (IsOwnDirectory(p)) return true;
    struct stat st;
    if (::lstat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(p.c_str());
    return ::mkdir(p.c_str(), 0700) == 0;
}

// Deletes the directories of instances that have ended: their lock can be taken.
void SweepEndedInstances(const std::string& userDir) {
    int dirFd = ::open(userDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) return;
    for (const std::string& name : EntryNames(dirFd)) {
        if (name.rfind(kInstancePrefix, 0) != 0) continue;
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid())
            continue;
        int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;
        // A directory without its lock is still being set up by its instance: leave it.
        int lock = ::openat(sub, kLockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            EmptyDirectory(sub);
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        }
        if (lock >= 0) ::close(lock);
        ::close(sub);
    }
    ::close(dirFd);
}

}  // namespace

UserDirResult PrivateUserDir(const char* tmpdirEnv) {
    const uid_t uid = ::getuid();
    std::string base = "/tmp";
    if (tmpdirEnv && *tmpdirEnv) {
        std::string tmpdir = NoTrailingSlash(tmpdirEnv);
        struct stat st;
        if (::lstat(tmpdir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (st.st_uid == uid && (st.st_mode & 022) == 0) return {tmpdir, {}};
            base = tmpdir;
        } else if (::stat(tmpdir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            base = tmpdir;  // a link to a directory, as /tmp is on some systems
        }
    }
    std::string dir = base + "/pelorin-" + std::to_string(uid);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return {{}, "Cannot create " + dir + ": " + LastSystemErrorText()};
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {{}, dir + " is not a directory of this user (" + LastSystemErrorText() + ")"};
    struct stat st;
    bool ours = ::fstat(fd, &st) == 0 && st.st_uid == uid;
    if (ours && (st.st_mode & 077) != 0) ours = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    if (!ours) return {{}, dir + " belongs to another user or cannot be made private"};
    return {dir, {}};
}

std::optional<WorkDir> WorkDir::Open(const std::filesystem::path& userDir, std::string* error) {
    std::string base = NoTrailingSlash(userDir);
    SweepEndedInstances(base);
    for (int attempt = 0; attempt < kInstanceAttempts; ++attempt) {
        std::string templ = base + "/" + kInstancePrefix + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(templ.data())) {
            if (error)
                *error =
                    "Cannot create a working directory in " + base + ": " + LastSystemErrorText();
            return std::nullopt;
        }
        std::string lockPath = templ + "/" + kLockName;
        int lock =
            ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (lock < 0) continue;  // swept away by a starting instance; try a new name
        struct stat held;
        struct stat named;
        // Locked, and still the lock at that path: no other instance is deleting the directory.
        if (::flock(lock, LOCK_EX | LOCK_NB) == 0 && ::fstat(lock, &held) == 0 &&
            ::lstat(lockPath.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev)
            return WorkDir(WorkPathsFor(templ), lock);
        ::close(lock);
    }
    if (error) *error = "Cannot set up a working directory in " + base;
    return std::nullopt;
}

WorkDir::WorkDir(WorkDir&& other) noexcept : paths_(std::move(other.paths_)), lock_(other.lock_) {
    other.lock_ = -1;
}

WorkDir& WorkDir::operator=(WorkDir&& other) noexcept {
    if (this != &other) {
        Release();
        paths_ = std::move(other.paths_);
        lock_ = other.lock_;
        other.lock_ = -1;
    }
    return *this;
}

WorkDir::~WorkDir() {
    Release();
}

void WorkDir::Release() {
    if (lock_ < 0) return;
    std::string dir = NoTrailingSlash(paths_.tempDir);
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd >= 0) {
        // The helper may still need its file here; then the next start sweeps the directory.
        auto names = EntryNames(dirFd);
        if (names.size() == 1 && names[0] == kLockName) {
            ::unlinkat(dirFd, kLockName, 0);
            ::rmdir(dir.c_str());
        }
        ::close(dirFd);
    }
    ::close(static_cast<int>(lock_));
    lock_ = -1;
}

bool DeleteTree(const std::filesystem::path& dir) {
    std::string path = NoTrailingSlash(dir);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        if (S_ISLNK(st.st_mode)) ::unlink(path.c_str());
        return false;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    EmptyDirectory(fd);
    ::close(fd);
    return ::rmdir(path.c_str()) == 0;
}

bool CreateWorkTree(const WorkPaths& paths) {
    return MakeOwnDirectory(paths.outerDir) && MakeOwnDirectory(paths.innerDir);
}

void CleanUpWorkFiles(const WorkPaths& paths, bool dataPrepared) {
    ::unlink(paths.layoutPath.c_str());
    if (dataPrepared) {
        ::unlink(paths.dataFilePath.c_str());
        ::unlink((paths.dataFilePath.string() + ".gz").c_str());
    }
    ::rmdir(NoTrailingSlash(paths.innerDir).c_str());
    ::rmdir(NoTrailingSlash(paths.outerDir).c_str());
}

}  // namespace pelorin
