// OutFile on POSIX: unlink, then O_CREAT | O_EXCL | O_NOFOLLOW so no planted link is written
// through.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/file_io.h"

namespace pelorin {

std::optional<OutFile> OutFile::CreateReplacing(const std::filesystem::path& path,
                                                std::string* error, unsigned mode) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        if (error) *error = "Cannot replace " + path.string() + ": " + LastSystemErrorText();
        return std::nullopt;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    static_cast<mode_t>(mode));
    if (fd < 0) {
        if (error) *error = "Cannot create " + path.string() + ": " + LastSystemErrorText();
        return std::nullopt;
    }
    // The umask may have taken bits the caller asked for (the helper needs its run bit).
    ::fchmod(fd, static_cast<mode_t>(mode));
    return OutFile(fd);
}

std::optional<OutFile> OutFile::CreateNew(const std::filesystem::path& path, std::string* error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = LastSystemErrorText();
        return std::nullopt;
    }
    return OutFile(fd);
}

bool OutFile::Write(std::span<const uint8_t> bytes) {
    if (handle_ < 0) return false;
    int fd = static_cast<int>(handle_);
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(written));
    }
    return true;
}

bool OutFile::Close() {
    if (handle_ < 0) return !failed_;
    if (::close(static_cast<int>(handle_)) != 0) failed_ = true;
    handle_ = -1;
    return !failed_;
}

}  // namespace pelorin
