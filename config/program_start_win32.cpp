// Starting a program on its own with its window hidden.
#include <windows.h>

#include <filesystem>

#include "config/program_start.h"
#include "config/system_error.h"

namespace pelorin {

bool StartProgram(const std::string& commandLine, std::string* error) {
    // Converted as paths are, so the program path comes out as the file system names it.
    std::wstring line = std::filesystem::path(commandLine).wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        if (error) *error = "Cannot start " + commandLine + ": " + LastSystemErrorText();
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace pelorin
