// Console on Windows: Ctrl+C, Ctrl+Break and closing the window are caught by a console control
// handler that only raises a flag, the operation cancels on its own thread; the console is set
// to UTF-8 and, where it can, to virtual-terminal sequences for the progress bars.
#include <windows.h>

#include <io.h>
#include <atomic>
#include <cstdio>

#include "cli/console.h"

namespace pelorin::cli {
namespace {

std::atomic<unsigned> gCancelCount{0};
// How long a closing console window waits for the cancel to close the port and the files.
constexpr DWORD kCloseGraceMs = 3000;

BOOL WINAPI OnControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            gCancelCount.fetch_add(1);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns: give the cancel its moment.
            gCancelCount.fetch_add(1);
            Sleep(kCloseGraceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

bool ConsoleHandle(std::FILE* stream, HANDLE& handle) {
    const intptr_t os = _get_osfhandle(_fileno(stream));
    handle = reinterpret_cast<HANDLE>(os);
    DWORD mode = 0;
    return os != -1 && GetConsoleMode(handle, &mode);
}

// True when the console shows escape sequences instead of printing them.
bool EnableVirtualTerminal(std::FILE* stream) {
    HANDLE h;
    if (!ConsoleHandle(stream, h)) return false;
    DWORD mode = 0;
    GetConsoleMode(h, &mode);
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) ||
           SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace

void TakeOverCancelKeys() {
    SetConsoleCtrlHandler(OnControl, TRUE);
    // File names and messages are UTF-8 throughout.
    SetConsoleOutputCP(CP_UTF8);
}

bool IsTerminal(std::FILE* stream) {
    // A console that cannot show the bars' sequences gets the plain lines instead.
    return EnableVirtualTerminal(stream);
}

CancelKeys::CancelKeys() : fd_(static_cast<int>(gCancelCount.load())) {}

CancelKeys::~CancelKeys() = default;

bool CancelKeys::Pressed() {
    // fd_ holds the count of cancel keys already looked at.
    const int now = static_cast<int>(gCancelCount.load());
    if (now == fd_) return false;
    fd_ = now;
    return true;
}

}  // namespace pelorin::cli
