// Appending records on POSIX: O_APPEND puts every write at the end, flock keeps another
// writer's header check and write from slipping between ours, fsync makes the row survive a
// power cut at the next board. The lock is polled, so a holder that never lets go costs a
// bounded wait and signals keep working meanwhile.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "config/append_lock.h"
#include "config/system_error.h"

namespace pelorin {
namespace {

std::string OpenError(const std::filesystem::path& path, const std::string& why) {
    return "Can't use the log " + path.string() + ": " + why;
}

bool SameFile(const struct stat& a, const std::filesystem::path& other) {
    struct stat b {};
    return !other.empty() && ::stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Writes all of `text`; false with errno set when the file takes less.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        text.remove_prefix(size_t(n));
    }
    return true;
}

}  // namespace

std::optional<AppendFile> AppendFile::Open(const std::filesystem::path& path,
                                           const std::filesystem::path& notThis,
                                           std::string& error) {
    struct stat entry {};
    int flags = O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (::lstat(path.c_str(), &entry) == 0) {
        if (S_ISLNK(entry.st_mode)) {
            // The kernel's protected-symlinks rule, applied wherever the file lies.
            if (entry.st_uid != ::geteuid()) {
                error = OpenError(path, "it is a symbolic link owned by another user");
                return std::nullopt;
            }
        } else {
            flags |= O_NOFOLLOW;  // still no link when it is opened
        }
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
            error = OpenError(path, "not a regular file (a directory, FIFO or device)");
            return std::nullopt;
        }
    }
    // O_NONBLOCK: a FIFO put there meanwhile must not block the open.
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        error = OpenError(path, LastSystemErrorText());
        return std::nullopt;
    }
    struct stat info {};
    std::string why;
    if (::fstat(fd, &info) != 0)
        why = LastSystemErrorText();
    else if (!S_ISREG(info.st_mode))
        why = "not a regular file (a directory, FIFO or device)";
    else if (SameFile(info, notThis))
        why = "it is the download file " + notThis.string();
    if (!why.empty()) {
        ::close(fd);
        error = OpenError(path, why);
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return AppendFile(fd, path);
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(int(handle_));
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

AppendFile::~AppendFile() {
    if (handle_ >= 0) ::close(int(handle_));
}

std::string AppendFile::Append(std::string_view header, std::string_view record,
                               std::chrono::milliseconds lockWait,
                               const std::function<bool()>& stop) {
    const int fd = int(handle_);
    const std::string waited = WaitForLock(
        [fd] {
            while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
                if (errno != EINTR) return errno == EWOULDBLOCK ? LockTry::Busy : LockTry::Failed;
            return LockTry::Taken;
        },
        lockWait, stop);
    if (!waited.empty()) return waited;
    std::string error;
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) != 0) {
        error = ErrorText("read");
    } else {
        char last = '\n';
        if (info.st_size == 0)
            text = header;
        else if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n')
            text = "\r\n";  // a row someone left unended stays a row of its own
        text += record;
        if (!WriteAll(fd, text)) {
            error = ErrorText("write");
            // Part of a row would glue the next one onto it: back to where the file was.
            [[maybe_unused]] int cut = ::ftruncate(fd, info.st_size);
        } else if (::fsync(fd) != 0) {
            error = ErrorText("flush");
        }
    }
    ::flock(fd, LOCK_UN);
    return error;
}

}  // namespace pelorin
