// The layout helper's system calls on Linux: /proc tells which processes run a file.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <string>
#include <thread>

#include "config/system_error.h"
#include "tools/helper_platform.h"

namespace pelorin::helper {
namespace {

constexpr std::chrono::milliseconds kPollInterval{50};

bool SomeProcessRuns(dev_t device, ino_t inode) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool found = false;
    const std::string self = std::to_string(::getpid());
    while (dirent* entry = ::readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])) || self == entry->d_name)
            continue;
        std::string exe = std::string("/proc/") + entry->d_name + "/exe";
        struct stat st;
        // Processes of other users and ended ones give no answer here; neither can hold ours.
        if (::stat(exe.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

}  // namespace

bool WaitForProgramToEnd(const std::filesystem::path& programPath,
                         std::chrono::milliseconds limit) {
    struct stat program;
    if (::stat(programPath.c_str(), &program) != 0) return true;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (SomeProcessRuns(program.st_dev, program.st_ino)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

bool ReplaceFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                 std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + LastSystemErrorText();
        return false;
    };
    struct stat old;
    if (::stat(path.c_str(), &old) != 0) return fail("Cannot read " + path.string());
    std::string temp = path.string() + ".new-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail("Cannot create a file beside " + path.string());
    bool ok = true;
    while (ok && !bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            ok = false;
        else
            bytes = bytes.subspan(static_cast<size_t>(written));
    }
    ok = ok && ::fchmod(fd, old.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("Cannot replace " + path.string());
    }
    return true;
}

}  // namespace pelorin::helper
