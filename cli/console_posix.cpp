// Console on POSIX: the cancel signals are blocked in every thread and read through a
// signalfd, so no signal handler runs inside the engine's threads.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "cli/console.h"

namespace pelorin::cli {
namespace {

sigset_t CancelSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void TakeOverCancelKeys() {
    const sigset_t set = CancelSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

CancelKeys::CancelKeys() {
    const sigset_t set = CancelSignals();
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

CancelKeys::~CancelKeys() {
    if (fd_ >= 0) ::close(fd_);
}

bool CancelKeys::Pressed() {
    signalfd_siginfo info;
    return fd_ >= 0 && ::read(fd_, &info, sizeof info) == ssize_t(sizeof info);
}

}  // namespace pelorin::cli
