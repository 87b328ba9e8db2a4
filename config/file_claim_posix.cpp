// Claims as flock locks: they end with the process that holds them, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "config/file_claim.h"
#include "config/system_error.h"

namespace pelorin {

struct FileClaim::Handle {
    int fd = -1;
    ~Handle() {
        if (fd >= 0) ::close(fd);
    }
};

FileClaim::FileClaim(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
FileClaim::~FileClaim() = default;

std::unique_ptr<FileClaim> FileClaim::Claim(const std::filesystem::path& path, bool create,
                                            Failure& failure, std::string& error) {
    auto handle = std::make_unique<Handle>();
    handle->fd =
        ::open(path.c_str(),
               O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (create ? O_CREAT : 0), 0600);
    if (handle->fd < 0) {
        failure = Failure::CannotOpen;
    } else if (::flock(handle->fd, LOCK_EX | LOCK_NB) != 0) {
        failure = errno == EWOULDBLOCK ? Failure::Busy : Failure::CannotLock;
    } else {
        failure = Failure::None;
        return std::unique_ptr<FileClaim>(new FileClaim(std::move(handle)));
    }
    error = LastSystemErrorText();
    return nullptr;
}

bool FileClaimed(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    const bool claimed = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return claimed;
}

}  // namespace pelorin
