// cnComm: the serial port object. Opens a port by number with a line-settings text, hands out
// what has arrived, queues blocks for sending, and runs a monitor thread per opening that posts
// WM_COMM_* notifications (comm_messages.h) to a message queue. Boards wire DTR and RTS to
// reset and boot pins: the system raises both on every open of a terminal, so the port drops
// them right after its first open and never closes the device for a speed switch.
// The portable part (the steps of Open, starting and stopping the monitor, notifications) is
// comm.cpp; each platform has the port in comm_<platform>.cpp and its monitor loop in
// comm_monitor_<platform>.cpp, sharing the device state of comm_device_<platform>.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/message_queue.h"
#include "serial/modem_control.h"
#include "serial/port_error.h"
#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace pelorin {

// Threads: Open, Close, Read, Write, SetState, SetPortNumber, OpenDevice, SetupDevice,
// StartMonitor and StopMonitor belong to one thread, the owner (the session worker). The
// monitor thread only posts notifications and drains the write queue. LastError, BytesQueued
// and BytesLeftHost may be called from any thread.
class cnComm : public ISerialPort {
  public:
    // Device queues of the line, as far as the platform lets them be sized.
    static constexpr unsigned kQueueBytes = 4096;
    // How long Close gives the monitor to end.
    static constexpr unsigned kStopMonitorMs = 100;
    // Where the device can report modem lines and line errors, the monitor samples them this
    // often; devices without them (pseudo-terminals) are never sampled.
    static constexpr int kLineStatusPollMs = 100;
    // While idle, the monitor looks this often whether the device node is still there (a
    // vanished device mostly hangs up at once; this catches the ones that do not).
    static constexpr int kPathCheckMs = 500;

    // Port numbers are resolved through `names`, which must outlive the object.
    explicit cnComm(PortNameTable& names);
    ~cnComm() override;
    cnComm(const cnComm&) = delete;
    cnComm& operator=(const cnComm&) = delete;

    // Where notifications go; kept across every close and reopen. Null, or a queue that has
    // been closed, means nobody listens: nothing is posted. The queue must outlive the port's
    // opening (set it before Open, change it only while closed).
    void SetNotifyTarget(MessageQueue* target) override;

    // Opens `port` (1..1024) with `settings` such as "115200,n,8,1", closing first a port that
    // is open. When the port is already open under the same number, on the same device, with
    // its monitor running, the settings go to the open device instead (a speed switch): the
    // device is not closed, the monitor goes on, arrived bytes stay readable and queued bytes
    // are still sent. A port number out of range fails before anything changes (an open port
    // stays open). A failure after the device opened (settings rejected) leaves it open with
    // its monitor running; the next Open or Close closes it.
    bool Open(unsigned port, const char* settings) override;
    // Drops what is still queued for sending, stops the monitor, closes the device. Harmless
    // when closed.
    void Close() override;
    bool IsOpen() const override;
    // Copies up to `maxLength` bytes that have already arrived; never waits (`timeoutMs` is only
    // an upper bound). 0 when nothing arrived, the port is closed or has vanished, or the driver
    // counted a line error (framing, overrun, parity, break) since the last Read: then whatever
    // had arrived is discarded. A read that finds the device gone posts WM_COMM_GONE (once).
    unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) override;
    // Copies the bytes into the send queue and returns at once: `length` when the device took
    // them all immediately, 0 when (some of) them wait in the queue. Queued bytes leave in call
    // order, sent by the monitor thread. 0 on a closed or vanished port, or when the device
    // refused them; a write that finds the device gone posts WM_COMM_GONE (once).
    unsigned Write(const uint8_t* data, unsigned length) override;
    // Counted from the last OpenDevice; after Close they keep the last opening's figures (bytes
    // the close discarded never left).
    uint64_t BytesQueued() const override;
    uint64_t BytesLeftHost() const override;

    // Where the port's modem-line calls go; null means the system's. Tests record them with
    // it. Set it while the port is closed; `control` must outlive the port's openings.
    void SetModemControl(IModemControl* control);

    // The steps of Open, callable alone.
    // Applies a line-settings text to the open device at once; fields it leaves out keep the
    // device's current values. DTR and RTS are held off and flow control is off whatever the
    // text says.
    bool SetState(const char* settings);
    // Stores the number and resolves the device it names (see port_names.h).
    void SetPortNumber(unsigned port);
    // Opens the device (closing first if open) and starts the monitor. Exclusive among
    // programs that lock the device as this one does; the lock ends with the descriptor, so
    // also with a process that dies. DTR and RTS are dropped at once, and a close leaves them
    // so.
    bool OpenDevice();
    // Clears both directions of the line and the send queue.
    bool SetupDevice();

    // Starts the monitor thread; false if one exists or it cannot be created.
    bool StartMonitor();
    // Ends the monitor thread; false if none exists or it did not end within `timeoutMs`
    // (it is still joined: it never blocks on anything but its wake-up).
    bool StopMonitor(unsigned timeoutMs);
    // True while the monitor thread runs its loop. It ends by itself only when the device hangs
    // up, fails or vanishes, and then posts WM_COMM_GONE first.
    bool MonitorActive() const { return monitorActive_.load(); }

    unsigned PortNumber() const { return portNumber_; }
    // The device path the port number resolved to; empty if it names none.
    const std::string& DeviceName() const { return deviceName_; }
    // The last failure, with the system's error text, for messages and tests.
    std::string LastError() const;
    // What the last failure means to the operator.
    PortErrorKind LastErrorKind() const;

  private:
    struct Device;  // the platform's handles and the monitor's state

    // The platform's monitor: readies its wake-up before a start (false when it cannot
    // wait), wakes a running loop so that it sees the stop, tidies after the join, and the
    // loop itself, which runs until monitorRunning_ falls or the device is gone.
    bool PrepareMonitorStart();
    void WakeMonitorToStop();
    void MonitorJoined();
    int MonitorLoop();
    // The platform's part of OpenDevice: opens deviceName_ with DTR and RTS dropped and
    // readies the device state for a new opening. False, with the last error set, when the
    // device cannot be opened or is no serial device.
    bool OpenNativeDevice();
    // True when `deviceName_` is the device open now, alive and monitored: new settings can
    // go to it without closing it.
    bool OpenDeviceReusable() const;
    // The device hung up or vanished: from then on reads and writes return 0, the monitor
    // ends, and WM_COMM_GONE goes out, once per opening whichever thread sees it first.
    void MarkGone(const char* what, int error);
    void NotifyReceive();
    void NotifyCts(bool on);
    void NotifyDsr(bool on);
    void NotifyRing();
    void NotifyRlsd();
    void NotifyBreak();
    void NotifyTxEmpty();
    void NotifyError(int64_t errorBits);
    void NotifyGone(int error);
    void Post(uint32_t id, int64_t lParam);
    void SetLastError(std::string text);
    void SetLastError(std::string text, PortErrorKind kind);
    // Owner thread only: names the port from portNumber_ and deviceName_.
    void SetLastSystemError(const std::string& what, int error);
    static std::string SystemErrorText(unsigned port, const std::string& device,
                                       const std::string& what, int error);

    PortNameTable& names_;
    unsigned portNumber_ = 0;
    std::string deviceName_;
    std::atomic<MessageQueue*> notifyTarget_{nullptr};
    // The number the running monitor posts with: fixed for one opening.
    std::atomic<unsigned> monitorPort_{0};
    std::atomic<bool> monitorActive_{false};
    // Owner thread only, but monitorRunning_, which the owner clears to stop the loop.
    std::thread monitor_;
    std::future<int> monitorExit_;
    std::atomic<bool> monitorRunning_{false};
    IModemControl* modemControl_ = &SystemModemControl();  // owner thread only
    std::unique_ptr<Device> device_;

    mutable std::mutex errorMutex_;
    std::string lastError_;
    PortErrorKind lastErrorKind_ = PortErrorKind::None;
};

}  // namespace pelorin
