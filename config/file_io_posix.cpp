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

OutFile::OutFile(OutFile&& other) noexcept : handle_(other.handle_), failed_(other.failed_) {
    other.handle_ = -1;
}

OutFile& OutFile::operator=(OutFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        failed_ = other.failed_;
        other.handle_ = -1;
    }
    return *this;
}

OutFile::~OutFile() {
    Close();
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

std::string LastSystemErrorText() {
    char buffer[256];
    int saved = errno;
    // The GNU strerror_r may return a static text instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return ::strerror_r(saved, buffer, sizeof buffer);
#else
    if (::strerror_r(saved, buffer, sizeof buffer) != 0) return "error " + std::to_string(saved);
    return buffer;
#endif
}

}  // namespace pelorin
