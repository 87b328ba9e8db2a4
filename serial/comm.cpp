// cnComm's portable part: the steps of Open, port numbers, starting and stopping the monitor,
// notifications and error text.
#include "serial/comm.h"

#include <chrono>
#include <system_error>

#include "serial/comm_messages.h"

namespace pelorin {

bool cnComm::Open(unsigned port, const char* settings) {
    if (port < kMinPortNumber || port > kMaxPortNumber) {
        SetLastError("port number " + std::to_string(port) + " is outside 1..1024");
        return false;
    }
    const bool samePort = IsOpen() && port == portNumber_;
    SetPortNumber(port);
    // A speed switch: closing would raise DTR and RTS again on the next open, and lose what
    // has arrived and what waits to be sent.
    if (samePort && OpenDeviceReusable()) return SetState(settings);
    if (!OpenDevice()) return false;
    if (!SetupDevice()) return false;
    return SetState(settings);
}

void cnComm::SetPortNumber(unsigned port) {
    portNumber_ = port;
    deviceName_ = names_.DevicePath(port);
}

bool cnComm::OpenDevice() {
    if (IsOpen()) Close();
    if (deviceName_.empty()) {
        SetLastError("COM" + std::to_string(portNumber_) + " names no device");
        return false;
    }
    if (!OpenNativeDevice()) return false;
    if (!StartMonitor()) {
        Close();
        return false;
    }
    return true;
}

void cnComm::SetNotifyTarget(MessageQueue* target) {
    notifyTarget_.store(target);
}

void cnComm::SetModemControl(IModemControl* control) {
    modemControl_ = control ? control : &SystemModemControl();
}

bool cnComm::StartMonitor() {
    if (monitor_.joinable() || !IsOpen() || !PrepareMonitorStart()) return false;
    monitorPort_.store(portNumber_);
    monitorRunning_.store(true);
    monitorActive_.store(true);
    try {
        std::packaged_task<int()> task([this] { return MonitorLoop(); });
        monitorExit_ = task.get_future();
        monitor_ = std::thread(std::move(task));
    } catch (const std::system_error& e) {
        monitorRunning_.store(false);
        monitorActive_.store(false);
        SetLastError(std::string("cannot start the port monitor: ") + e.what());
        return false;
    }
    return true;
}

bool cnComm::StopMonitor(unsigned timeoutMs) {
    if (!monitor_.joinable()) return false;
    monitorRunning_.store(false);
    WakeMonitorToStop();
    const bool inTime =
        monitorExit_.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
    // The loop never blocks on anything but its wake-up and bounded waits: the join ends.
    monitor_.join();
    MonitorJoined();
    if (!inTime) SetLastError("the port monitor did not end in time");
    return inTime;
}

void cnComm::Post(uint32_t id, int64_t lParam) {
    MessageQueue* target = notifyTarget_.load();
    // A closed queue refuses the post: its owner has ended, and the notification is dropped.
    if (target) target->Post(id, monitorPort_.load(), lParam);
}

void cnComm::NotifyReceive() {
    Post(WM_COMM_RXCHAR, 0);
}
void cnComm::NotifyCts(bool on) {
    Post(WM_COMM_CTS, on ? 1 : 0);
}
void cnComm::NotifyDsr(bool on) {
    Post(WM_COMM_DSR, on ? 1 : 0);
}
void cnComm::NotifyRing() {
    Post(WM_COMM_RING, 0);
}
void cnComm::NotifyRlsd() {
    Post(WM_COMM_RLSD, 0);
}
void cnComm::NotifyBreak() {
    Post(WM_COMM_BREAK, 0);
}
void cnComm::NotifyTxEmpty() {
    Post(WM_COMM_TXEMPTY, 0);
}
void cnComm::NotifyError(int64_t errorBits) {
    Post(WM_COMM_ERR, errorBits);
}
void cnComm::NotifyGone(int error) {
    Post(WM_COMM_GONE, error);
}

std::string cnComm::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

PortErrorKind cnComm::LastErrorKind() const {
    std::lock_guard lock(errorMutex_);
    return lastErrorKind_;
}

void cnComm::SetLastError(std::string text) {
    SetLastError(std::move(text), PortErrorKind::Other);
}

void cnComm::SetLastError(std::string text, PortErrorKind kind) {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::move(text);
    lastErrorKind_ = kind;
}

std::string cnComm::SystemErrorText(unsigned port, const std::string& device,
                                    const std::string& what, int error) {
    return "COM" + std::to_string(port) + " (" + device + "): " + what + ": " +
           std::system_category().message(error);
}

void cnComm::SetLastSystemError(const std::string& what, int error) {
    SetLastError(SystemErrorText(portNumber_, deviceName_, what, error), PortErrorKindOf(error));
}

}  // namespace pelorin
