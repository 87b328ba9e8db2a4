// Console on Windows: one console control handler for Ctrl+C, Ctrl+Break and a closing
// console. Before an operation runs it ends the program at once; while one runs it only raises
// a flag that the operation's loop reads. The console is set to UTF-8 and, where it can, to
// virtual-terminal sequences for the progress bars.
#include <windows.h>

#include <io.h>
#include <atomic>
#include <cstdio>

#include "cli/console.h"
#include "cli/exit_codes.h"

namespace pelorin::cli {
namespace {

std::atomic<bool> gCancelArmed{false};
std::atomic<bool> gCancelPressed{false};
// A closing console ends the process as soon as the handler returns: this long is given to
// the operation to close the port and keep a partial dump.
constexpr DWORD kCloseGraceMs = 3000;

BOOL WINAPI OnControl(DWORD type) {
    const bool closing =
        type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    if (!closing && type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    if (!gCancelArmed.load()) {
        static constexpr char kText[] = "\nCancelled\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
        ExitProcess(kExitCancelled);
    }
    gCancelPressed.store(true);
    if (closing) Sleep(kCloseGraceMs);
    return TRUE;
}

// True when the console shows escape sequences instead of printing them.
bool EnableVirtualTerminal(std::FILE* stream) {
    const intptr_t os = _get_osfhandle(_fileno(stream));
    if (os == -1) return false;
    const HANDLE h = reinterpret_cast<HANDLE>(os);
    DWORD mode = 0;
    if (!GetConsoleMode(h, &mode)) return false;
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

unsigned TerminalColumns(std::FILE* stream) {
    const intptr_t os = _get_osfhandle(_fileno(stream));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (os == -1 || !GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(os), &info)) return 0;
    return unsigned(info.srWindow.Right - info.srWindow.Left + 1);
}

bool TerminalResized() {
    // A console window's new width is read at the next redraw.
    return false;
}

CancelKeys::CancelKeys() {
    gCancelPressed.store(false);
    gCancelArmed.store(true);
}

CancelKeys::~CancelKeys() {
    gCancelArmed.store(false);
}

bool CancelKeys::Pending() const {
    return gCancelPressed.load();
}

bool CancelKeys::Pressed() {
    return gCancelPressed.exchange(false);
}

}  // namespace pelorin::cli
