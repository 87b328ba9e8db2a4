// Opening a url on Windows: the shell's "open" verb, else the command registered for .htm
// pages started with the url.
#include <windows.h>
// windows.h first: the shell's header needs its types.
#include <shellapi.h>

#include "ui/url_open.h"

namespace pelorin::ui {
namespace {

static_assert(kShowNormal == SW_SHOW);
constexpr LONG kValueBytes = MAX_PATH;

// The default value of HKEY_CLASSES_ROOT\`subKey`.
bool ReadClassDefault(const std::string& subKey, std::string& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char buffer[kValueBytes] = {};
    LONG size = kValueBytes;
    const bool read = RegQueryValueA(key, nullptr, buffer, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (read) value = buffer;
    return read;
}

}  // namespace

int OpenUrl(const std::string& url, int showCommand) {
    const auto shell = reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, showCommand));
    const int result = static_cast<int>(shell);
    if (result > kOpenSucceededAbove) return result;
    std::string pageClass;
    if (!ReadClassDefault(".htm", pageClass)) return result;
    std::string command;
    if (!ReadClassDefault(pageClass + "\\shell\\open\\command", command)) return result;
    const std::string line = HandlerCommandLine(command, url);
    return static_cast<int>(WinExec(line.c_str(), static_cast<UINT>(showCommand)));
}

}  // namespace pelorin::ui
