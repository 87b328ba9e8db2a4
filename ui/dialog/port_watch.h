// Watches the folder of the serial devices so that the port list can follow devices that come
// and go. On Linux the folder is /dev, or the one PELORIN_DEVICE_DIR names (tests stand in for
// the system's devices with it); the view waits on Handle() with its own loop. Windows tells
// the window itself (WM_DEVICECHANGE) and needs no watch.
#pragma once

#include <memory>

namespace pelorin::ui {

inline constexpr const char* kDeviceDirVariable = "PELORIN_DEVICE_DIR";

class PortWatch {
  public:
    // Null when the folder cannot be watched: the list then stays as filled at start-up.
    static std::unique_ptr<PortWatch> Open();
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // Readable when something changed in the folder.
    int Handle() const { return fd_; }
    // Reads what changed, without waiting; true when a serial device came or went.
    bool TakeChanges();

  private:
    explicit PortWatch(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace pelorin::ui
