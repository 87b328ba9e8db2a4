// Starting a program on its own: a new session, so that it outlives the tool and a signal to
// the tool's terminal does not reach it; input from /dev/null, errors to the tool's stderr.
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include "config/program_start.h"
#include "config/system_error.h"

extern char** environ;

namespace pelorin {

bool StartProgram(const std::string& commandLine, std::string* error) {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) {
        if (error) *error = "No program to start.";
        return false;
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0 && error)
        *error =
            "Cannot start " + words[0] + ": " + SystemErrorText(static_cast<unsigned long>(rc));
    return rc == 0;
}

}  // namespace pelorin
