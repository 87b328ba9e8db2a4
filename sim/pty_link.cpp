// Pseudo-terminal handling of the simulated board (Linux).
#include "sim/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelorin::sim {

unsigned BaudOfSpeed(unsigned speed) {
    switch (static_cast<speed_t>(speed)) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B921600:
            return 921600;
        default:
            return 0;
    }
}

bool PtyLink::Open(const std::string& linkPath, std::string& error) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        tcsetattr(slave, TCSANOW, &tio);
    }
    // Our own slave descriptor is closed so that the host's open and close show as hang-ups.
    ::close(slave);
    const int flags = fcntl(master, F_GETFL);
    fcntl(master, F_SETFL, flags | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    master_ = master;
    slavePath_ = name;

    if (!linkPath.empty()) {
        struct stat st {};
        if (lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = linkPath + " exists and is not a symbolic link";
                Close();
                return false;
            }
            ::unlink(linkPath.c_str());
        }
        if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
            error = "symlink " + linkPath + ": " + std::strerror(errno);
            Close();
            return false;
        }
        linkPath_ = linkPath;
    }
    return true;
}

void PtyLink::Close() {
    if (!linkPath_.empty()) {
        // Only our own link: another board may have taken the name since.
        char target[512] = {};
        const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && slavePath_ == std::string(target, static_cast<size_t>(n)))
            ::unlink(linkPath_.c_str());
        linkPath_.clear();
    }
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool PtyLink::HostPresent() const {
    if (master_ < 0) return false;
    pollfd p{master_, 0, 0};
    if (poll(&p, 1, 0) < 0) return false;
    return (p.revents & POLLHUP) == 0;
}

unsigned PtyLink::HostBaud() const {
    termios tio{};
    if (master_ < 0 || tcgetattr(master_, &tio) != 0) return 0;
    return BaudOfSpeed(cfgetospeed(&tio));
}

ssize_t PtyLink::Read(uint8_t* buffer, size_t length) {
    const ssize_t n = ::read(master_, buffer, length);
    if (n >= 0) return n;
    // EIO: the host has closed the slave; nothing to read.
    return errno == EAGAIN || errno == EINTR || errno == EIO ? 0 : -1;
}

size_t PtyLink::DiscardInput() {
    size_t dropped = 0;
    uint8_t buffer[4096];
    while (true) {
        const ssize_t n = Read(buffer, sizeof buffer);
        if (n <= 0) return dropped;
        dropped += static_cast<size_t>(n);
    }
}

ssize_t PtyLink::Write(const uint8_t* data, size_t length) {
    const ssize_t n = ::write(master_, data, length);
    if (n >= 0) return n;
    return errno == EAGAIN || errno == EINTR || errno == EIO ? 0 : -1;
}

}  // namespace pelorin::sim
