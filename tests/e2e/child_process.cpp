// Child process with captured output.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace pelorin::testing {

using Clock = std::chrono::steady_clock;

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && status_ < 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    return Spawn(argv, out[1], out[0]);
}

bool ChildProcess::StartOnTerminal(const std::vector<std::string>& argv, unsigned short columns,
                                   unsigned short rows) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return false;
    winsize size{};
    size.ws_col = columns;
    size.ws_row = rows;
    ::ioctl(slave, TIOCSWINSZ, &size);
    return Spawn(argv, slave, master);
}

bool ChildProcess::Spawn(const std::vector<std::string>& argv, int outWrite, int outRead) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outWrite, 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The test runner may have signals blocked; the child starts with none blocked.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(outWrite);
    ::close(err[1]);
    outFd_ = outRead;
    errFd_ = err[0];
    if (rc != 0) pid_ = -1;
    return rc == 0;
}

void ChildProcess::Pump(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (::poll(fds, 2, int(timeout.count())) <= 0) return;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        std::string& into = i == 0 ? out_ : err_;
        if (n > 0) {
            into.append(buffer, size_t(n));
        } else {
            ::close(fds[i].fd);
            (i == 0 ? outFd_ : errFd_) = -1;
        }
    }
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const size_t end = out_.find('\n', lineStart_);
        if (end != std::string::npos) {
            std::string line = out_.substr(lineStart_, end - lineStart_);
            lineStart_ = end + 1;
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || (outFd_ < 0 && errFd_ < 0)) return std::nullopt;
        if (outFd_ < 0) return std::nullopt;
        Pump(std::min(left, std::chrono::milliseconds(100)));
    }
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        auto line = ReadLine(left);
        if (!line) return false;
        if (line->find(text) != std::string::npos) return true;
    }
    return false;
}

void ChildProcess::Resize(unsigned short columns, unsigned short rows) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = rows;
    ::ioctl(outFd_, TIOCSWINSZ, &size);
    Signal(SIGWINCH);
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && status_ < 0) ::kill(pid_, signal);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    const auto deadline = Clock::now() + timeout;
    while (status_ < 0) {
        int raw = 0;
        const pid_t r = ::waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (Clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            status_ = 999;
            return -1;
        }
        if (outFd_ >= 0 || errFd_ >= 0)
            Pump(std::chrono::milliseconds(20));
        else
            ::usleep(20000);
    }
    while (outFd_ >= 0 || errFd_ >= 0) Pump(std::chrono::milliseconds(100));
    return status_;
}

}  // namespace pelorin::testing
