// The working tree on POSIX: the per-user directory, per-instance directories kept with flock,
// and deletion through directory descriptors so that no planted link is ever followed.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
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

// A directory that only the calling user can reach: a real directory (not a link), owned by
// the user, closed to group and others. Owner bits that a strict umask took are given back.
bool IsPrivateDirectory(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
    if (ok && (st.st_mode & 0700) != 0700) ok = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

// A private folder left by an earlier run whose usual name was taken: "<prefix>XXXXXX".
// Only the user can have made a private directory of the user's, so it is safe to take again.
std::optional<std::string> EarlierFallback(const std::string& base, const std::string& prefix) {
    int dirFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return std::nullopt;
    std::optional<std::string> found;
    for (const std::string& name : EntryNames(dirFd)) {
        if (name.size() != prefix.size() + 6 || name.rfind(prefix, 0) != 0) continue;
        if (IsPrivateDirectory(base + "/" + name)) {
            found = base + "/" + name;
            break;
        }
    }
    ::close(dirFd);
    return found;
}

// `name` below `base`, made if missing. When the name is held by something that is not a
// private directory of ours (another user may have made it first), a private folder beside it
// is used instead, so that nobody can keep the tool from working by taking the name.
UserDirResult UserDirIn(const std::string& base, const std::string& name) {
    std::string dir = base + "/" + name;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return {{}, "Cannot create " + dir + ": " + LastSystemErrorText()};
    if (IsPrivateDirectory(dir)) return {dir, {}};
    const std::string prefix = name + "-";
    if (auto earlier = EarlierFallback(base, prefix)) return {*earlier, {}};
    std::string fresh = base + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(fresh.data()))
        return {{},
                dir + " is taken and no other folder can be made in " + base + ": " +
                    LastSystemErrorText()};
    if (!IsPrivateDirectory(fresh)) return {{}, fresh + " cannot be made private"};
    return {fresh, {}};
}

// $XDG_RUNTIME_DIR counts only as the standard describes it: absolute, ours, mode 0700.
bool IsRuntimeDir(const char* env) {
    if (!env || env[0] != '/') return false;
    int fd = ::open(NoTrailingSlash(env).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700;
    ::close(fd);
    return ok;
}

}  // namespace

UserDirResult PrivateUserDir(const char* runtimeDirEnv, const char* tmpdirEnv) {
    if (IsRuntimeDir(runtimeDirEnv)) return UserDirIn(NoTrailingSlash(runtimeDirEnv), "pelorin");
    std::string base = "/tmp";
    if (tmpdirEnv && *tmpdirEnv) {
        std::string tmpdir = NoTrailingSlash(tmpdirEnv);
        struct stat st;
        if (::lstat(tmpdir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (st.st_uid == ::getuid() && (st.st_mode & 022) == 0) return {tmpdir, {}};
            base = tmpdir;
        } else if (::stat(tmpdir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            base = tmpdir;  // a link to a directory, as /tmp is on some systems
        }
    }
    return UserDirIn(base, "pelorin-" + std::to_string(::getuid()));
}

UserDirResult PrivateUserDir(const char* tmpdirEnv) {
    return PrivateUserDir(::getenv("XDG_RUNTIME_DIR"), tmpdirEnv);
}

size_t SweepEndedRuns(const std::filesystem::path& userDir) {
    size_t swept = 0;
    int dirFd =
        ::open(NoTrailingSlash(userDir).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) return 0;
    for (const std::string& name : EntryNames(dirFd)) {
        if (name.rfind(kInstancePrefix, 0) != 0) continue;
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != ::getuid())
            continue;
        int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;
        // A directory without its lock is still being set up by its instance: leave it.
        int lock = ::openat(sub, kLockName, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            EmptyDirectory(sub);
            if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0) ++swept;
        }
        if (lock >= 0) ::close(lock);
        ::close(sub);
    }
    ::close(dirFd);
    return swept;
}

std::optional<WorkDir> WorkDir::Open(const std::filesystem::path& userDir, std::string* error) {
    std::string base = NoTrailingSlash(userDir);
    SweepEndedRuns(base);
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
        if (lock < 0) {
            const int why = errno;
            ::rmdir(templ.c_str());       // nothing is in it yet: leave no trace of the failed try
            if (why == ENOENT) continue;  // swept away by a starting instance; try a new name
            errno = why;
            if (error) *error = "Cannot create " + lockPath + ": " + LastSystemErrorText();
            return std::nullopt;
        }
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
