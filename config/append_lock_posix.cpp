// Appending records on POSIX: O_APPEND puts every write at the end, flock keeps another
// writer's header check and write from slipping between ours, fsync makes the row survive a
// power cut at the next board.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "config/append_lock.h"
#include "config/system_error.h"

namespace pelorin {
namespace {

std::string ErrorText(const std::filesystem::path& path, const char* what) {
    return "Can't " + std::string(what) + " the log " + path.string() + ": " +
           LastSystemErrorText();
}

// Writes all of `text`; a regular file takes it in one call, the loop only covers a signal.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(size_t(n));
    }
    return true;
}

std::string AppendLocked(int fd, const std::filesystem::path& path, std::string_view header,
                         std::string_view record) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return ErrorText(path, "read");
    std::string text;
    if (info.st_size == 0) text = header;
    text += record;
    if (!WriteAll(fd, text)) return ErrorText(path, "write");
    if (::fsync(fd) != 0) return ErrorText(path, "flush");
    return {};
}

}  // namespace

std::string AppendRecordLocked(const std::filesystem::path& path, std::string_view header,
                               std::string_view record) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return ErrorText(path, "open");
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    std::string error =
        locked == 0 ? AppendLocked(fd, path, header, record) : ErrorText(path, "lock");
    ::close(fd);  // also drops the lock
    return error;
}

}  // namespace pelorin
