// Opening a url on a free desktop: xdg-open, started in the background by a shell that ends
// at once, so the program neither waits for the browser nor leaves a child to reap.
#include <spawn.h>
#include <sys/wait.h>

#include "ui/url_open.h"

extern char** environ;

namespace pelorin::ui {
namespace {

// The url is the shell's argument, never part of its script.
constexpr const char* kScript =
    "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
    "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &\n";
constexpr int kOpened = kOpenSucceededAbove + 1;

}  // namespace

// The window's show command is the desktop's business here.
int OpenUrl(const std::string& url, int) {
    std::string script = kScript;
    std::string name = "sh";
    std::string dashC = "-c";
    std::string argument = url;
    char* argv[] = {name.data(), dashC.data(),    script.data(),
                    name.data(), argument.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return kNoAssociation;
    int status = 0;
    if (waitpid(child, &status, 0) != child) return kNoAssociation;
    const bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return started ? kOpened : kNoAssociation;
}

}  // namespace pelorin::ui
