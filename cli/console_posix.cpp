// Console on POSIX: one handler for the cancel signals. Before an operation runs it ends the
// program at once; while one runs it only raises a flag that the operation's loop reads.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "cli/console.h"
#include "cli/exit_codes.h"

namespace pelorin::cli {
namespace {

// Signal handlers can reach nothing else: these two flags are the whole of their state.
std::atomic<bool> g_cancelArmed{false};
std::atomic<bool> g_cancelPressed{false};
std::atomic<bool> g_resized{false};

constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnCancelSignal(int) {
    if (!g_cancelArmed.load()) {
        static constexpr char kText[] = "\nCancelled\n";
        [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, kText, sizeof kText - 1);
        ::_exit(kExitCancelled);
    }
    g_cancelPressed.store(true);
}

void OnResize(int) {
    g_resized.store(true);
}

}  // namespace

void TakeOverCancelKeys() {
    struct sigaction action {};
    action.sa_handler = OnCancelSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kCancelSignals) ::sigaction(signal, &action, nullptr);
    // A reader that went away (`pelorin-cli ... | head`) must not abort a flash half-way.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);
    // Over a file-size limit a write fails (EFBIG) and is handled as any failed write.
    ::sigaction(SIGXFSZ, &ignore, nullptr);
    struct sigaction resize {};
    resize.sa_handler = OnResize;
    sigemptyset(&resize.sa_mask);
    resize.sa_flags = SA_RESTART;
    ::sigaction(SIGWINCH, &resize, nullptr);
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

unsigned TerminalColumns(std::FILE* stream) {
    struct winsize size {};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

bool TerminalResized() {
    return g_resized.exchange(false);
}

CancelKeys::CancelKeys() {
    g_cancelPressed.store(false);
    g_cancelArmed.store(true);
}

CancelKeys::~CancelKeys() {
    g_cancelArmed.store(false);
}

bool CancelKeys::Pending() const {
    return g_cancelPressed.load();
}

bool CancelKeys::Pressed() {
    return g_cancelPressed.exchange(false);
}

}  // namespace pelorin::cli
