// The device folder watched with inotify: nodes created, removed or renamed.
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "ui/dialog/port_watch.h"

namespace pelorin::ui {
namespace {

// Serial devices, and the folder of their stable links (/dev/serial) made with the first one.
bool IsSerialNode(std::string_view name) {
    return name.starts_with("tty") || name.starts_with("rfcomm") || name == "serial";
}

}  // namespace

std::unique_ptr<PortWatch> PortWatch::Open() {
    const char* dir = std::getenv(kDeviceDirVariable);
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return nullptr;
    if (inotify_add_watch(fd, dir && *dir ? dir : "/dev",
                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<PortWatch>(new PortWatch(fd));
}

PortWatch::~PortWatch() {
    close(fd_);
}

bool PortWatch::TakeChanges() {
    bool serial = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got <= 0) return serial;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && IsSerialNode(event->name)) serial = true;
            // A full queue lost events: any of them may have been a device.
            if (event->mask & IN_Q_OVERFLOW) serial = true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

}  // namespace pelorin::ui
