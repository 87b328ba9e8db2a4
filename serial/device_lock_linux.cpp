// The device's lock, read from /proc/locks: one line per lock, naming the locked inode as
// "MAJOR:MINOR:INODE" (the file system's device numbers in hex, the inode in decimal).
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

#include "serial/device_lock.h"

namespace pelorin {

bool DeviceLockHeld(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (!locks) return false;
    bool held = false;
    char line[256];
    while (!held && std::fgets(line, sizeof line, locks)) {
        // "1: FLOCK  ADVISORY  WRITE 7598 00:19:3 0 EOF"; a waiter's line has "->" after the
        // number and is not a lock held.
        char kind[16], mode[16], access[16];
        long pid = 0;
        unsigned devMajor = 0, devMinor = 0;
        unsigned long long inode = 0;
        held = std::sscanf(line, "%*d: %15s %15s %15s %ld %x:%x:%llu", kind, mode, access, &pid,
                           &devMajor, &devMinor, &inode) == 7 &&
               std::strcmp(kind, "FLOCK") == 0 && devMajor == major(st.st_dev) &&
               devMinor == minor(st.st_dev) && inode == st.st_ino;
    }
    std::fclose(locks);
    return held;
}

}  // namespace pelorin
