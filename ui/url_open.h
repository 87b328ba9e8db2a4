// Opening a web address with the desktop's handler. No toolkit here, so every build, the
// Windows one included, compiles it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pelorin::ui {

// The window is shown normally (the platform's SW_SHOW).
inline constexpr int kShowNormal = 5;
// Results above this are success; at or below it they are the shell's error codes.
inline constexpr int kOpenSucceededAbove = 32;
// The shell's "no application is associated" code: also what a platform without the shell
// reports when it found nothing to start.
inline constexpr int kNoAssociation = 31;

// Opens `url`; returns a value above kOpenSucceededAbove on success, else the error code.
int OpenUrl(const std::string& url, int showCommand);
using UrlOpener = std::function<int(const std::string& url, int showCommand)>;

// The command line that opens `url` with a registered page handler's command: the command up
// to its placeholder ("%1" in quotes, else %1, else all of it), a space, then the url.
std::string HandlerCommandLine(std::string_view command, std::string_view url);

// The operator's text for an error code of OpenUrl.
std::string OpenErrorText(int code);

}  // namespace pelorin::ui
