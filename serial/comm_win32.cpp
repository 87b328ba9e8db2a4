// cnComm on Windows: an overlapped handle on \\.\COMn with the driver's queues, time-outs and
// device-control block, and a monitor thread that waits for comm events, posts notifications
// and feeds the send queue to the driver one overlapped write at a time.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#include "serial/comm.h"
#include "serial/comm_messages.h"

namespace pelorin {
namespace {

// The comm events the monitor waits for; the event-character event is of no use here.
constexpr DWORD kEventMask =
    EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
// When a wait ends at once with nothing to report, the monitor looks again after a pause
// rather than spinning (Wine on a pseudo-terminal ends every wait that has to wait at once).
// The pause doubles while the line stays quiet, and starts short again after any event.
constexpr DWORD kAbortedWaitFirstBackoffMs = 1;
constexpr DWORD kAbortedWaitLongestBackoffMs = 8;
// Bounds every wait for a cancelled or purged operation: the driver should end it at once.
constexpr DWORD kCancelledIoWaitMs = 200;
// One overlapped read never asks for more than this; the rest stays queued for the next Read.
constexpr DWORD kReadChunkBytes = 16384;

// Errors after which the device is gone for good: the far end closed (a pseudo-terminal under
// Wine), the USB adapter was pulled, or the handle no longer names a device.
bool IsVanishedError(DWORD error) {
    return error == ERROR_NOT_READY || error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_GEN_FAILURE;
}

std::string ErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n && text ? std::string(text, n) : std::string();
    if (text) LocalFree(text);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' '))
        s.pop_back();
    return (s.empty() ? "system error" : s) + " (" + std::to_string(error) + ")";
}

HANDLE NewManualResetEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

void CloseEvent(HANDLE& h) {
    if (h) CloseHandle(h);
    h = nullptr;
}

}  // namespace

struct cnComm::Device {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string name;  // fixed for one opening; the monitor names it in errors
    DCB lineSettings{};
    COMMTIMEOUTS timeouts{};

    // One record per kind of operation, so a read, a write and the event wait never share one.
    OVERLAPPED readOv{};
    OVERLAPPED writeOv{};
    OVERLAPPED waitOv{};
    // "Look again": a stop, a Read that re-arms the receive notification, a queued write.
    HANDLE wake = nullptr;

    std::thread monitor;
    std::future<int> monitorExit;
    std::atomic<bool> monitorRunning{false};
    // Set by the monitor when it posts WM_COMM_RXCHAR, cleared by Read: unread data raises one
    // notification, not one per arriving byte.
    std::atomic<bool> receivePending{false};
    std::atomic<bool> gone{false};
    // Since the last OpenDevice: bytes Write took, and bytes whose write the driver finished
    // (the standard driver finishes a write once its bytes have gone to the UART).
    std::atomic<uint64_t> queued{0};
    std::atomic<uint64_t> handed{0};
    // Line errors the monitor cleared in the driver while fetching the queue status: Read still
    // has to see them and drop what arrived with them.
    std::atomic<DWORD> unseenErrors{0};

    // A read the driver has not finished within the caller's time-out keeps this buffer, so the
    // caller's own buffer is never written after Read returns. Owner thread only.
    std::vector<uint8_t> readBuffer = std::vector<uint8_t>(kReadChunkBytes);
    bool readPending = false;

    std::mutex sendMutex;
    std::deque<std::vector<uint8_t>> sendQueue;  // blocks not yet handed to the driver
    std::vector<uint8_t> writing;                // the block of the write in flight
    bool writePending = false;

    Device() {
        readOv.hEvent = NewManualResetEvent();
        writeOv.hEvent = NewManualResetEvent();
        waitOv.hEvent = NewManualResetEvent();
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    ~Device() {
        CloseEvent(readOv.hEvent);
        CloseEvent(writeOv.hEvent);
        CloseEvent(waitOv.hEvent);
        CloseEvent(wake);
    }
    bool EventsReady() const { return readOv.hEvent && writeOv.hEvent && waitOv.hEvent && wake; }

    // Hands the driver the next queued block unless a write is in flight. Returns the error of
    // a write the driver refused, 0 otherwise. Caller holds sendMutex.
    DWORD StartNextWriteLocked(bool& drained) {
        drained = false;
        while (!writePending && !sendQueue.empty()) {
            writing = std::move(sendQueue.front());
            sendQueue.pop_front();
            ResetEvent(writeOv.hEvent);
            DWORD written = 0;
            if (WriteFile(handle, writing.data(), static_cast<DWORD>(writing.size()), &written,
                          &writeOv)) {
                handed.fetch_add(written);
                if (written < writing.size())  // a write time-out: the rest goes next
                    sendQueue.emplace_front(writing.begin() + written, writing.end());
                writing.clear();
                drained = sendQueue.empty();
                // A device that took nothing in its whole time-out: the monitor tries again on
                // its next idle look instead of this loop going round.
                if (written == 0) return 0;
                continue;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                writePending = true;
                return 0;
            }
            writing.clear();
            sendQueue.clear();
            return error;
        }
        return 0;
    }
    // The write in flight has ended (its event is set); queues what a time-out left unsent and
    // starts the next. Caller holds sendMutex.
    DWORD FinishWriteLocked(bool& drained) {
        drained = false;
        if (!writePending) return 0;
        DWORD written = 0;
        const bool ok = GetOverlappedResult(handle, &writeOv, &written, FALSE);
        const DWORD error = ok ? 0 : GetLastError();
        if (!ok && error == ERROR_IO_INCOMPLETE) return 0;
        writePending = false;
        if (ok) handed.fetch_add(written);
        if (ok && written < writing.size())
            sendQueue.emplace_front(writing.begin() + written, writing.end());
        writing.clear();
        if (!ok && error != ERROR_OPERATION_ABORTED) {
            sendQueue.clear();
            return error;
        }
        const DWORD next = StartNextWriteLocked(drained);
        drained = drained || (!writePending && sendQueue.empty());
        return next;
    }
    void DropSendQueue() {
        std::lock_guard lock(sendMutex);
        sendQueue.clear();
    }
    // Waits, bounded, for a cancelled or purged operation to end: its record and buffer must
    // not be reused while the driver may still write to them.
    void AwaitCancelled(OVERLAPPED& ov) const {
        if (WaitForSingleObject(ov.hEvent, kCancelledIoWaitMs) == WAIT_OBJECT_0) {
            DWORD n = 0;
            (void)GetOverlappedResult(handle, &ov, &n, FALSE);
        }
    }
};

cnComm::cnComm(PortNameTable& names) : names_(names), device_(std::make_unique<Device>()) {
    if (!device_->EventsReady())
        SetLastError("cannot create the port's events: " + ErrorText(GetLastError()));
}

cnComm::~cnComm() {
    Close();
}

bool cnComm::IsOpen() const {
    return device_->handle != INVALID_HANDLE_VALUE;
}

bool cnComm::OpenDeviceReusable() const {
    const Device& d = *device_;
    return IsOpen() && !d.gone.load() && monitorActive_.load() && d.name == deviceName_;
}

bool cnComm::OpenDevice() {
    if (IsOpen()) Close();
    Device& d = *device_;
    if (deviceName_.empty()) {
        SetLastError("COM" + std::to_string(portNumber_) + " names no device");
        return false;
    }
    if (!d.EventsReady()) return false;

    // No sharing: the port is held exclusively for as long as it is open.
    const HANDLE h =
        CreateFileA(deviceName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        SetLastError("COM" + std::to_string(portNumber_) + " (" + deviceName_ + "): " +
                     (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                          ? "port in use: "
                          : "cannot open: ") +
                     ErrorText(error));
        return false;
    }
    DCB probe{};
    probe.DCBlength = sizeof probe;
    if (!GetCommState(h, &probe)) {
        SetLastError("COM" + std::to_string(portNumber_) + " (" + deviceName_ +
                     "): not a serial device: " + ErrorText(GetLastError()));
        CloseHandle(h);
        return false;
    }
    // Hold DTR and RTS off from the first moment: some boards reset on either. Devices without
    // modem lines refuse this, which is no failure.
    const NativeDevice native = reinterpret_cast<NativeDevice>(h);
    (void)modemControl_->SetLines(native, kModemDtr | kModemRts, false);
    (void)modemControl_->SetDropOnClose(native, false);

    d.handle = h;
    d.name = deviceName_;
    d.lineSettings = probe;
    d.gone.store(false);
    d.receivePending.store(false);
    d.unseenErrors.store(0);
    d.readPending = false;
    {
        std::lock_guard lock(d.sendMutex);
        d.sendQueue.clear();
        d.writing.clear();
        d.writePending = false;
        d.queued.store(0);
        d.handed.store(0);
    }
    if (!StartMonitor()) {
        Close();
        return false;
    }
    return true;
}

bool cnComm::SetupDevice() {
    if (!IsOpen()) return false;
    Device& d = *device_;
    auto fail = [&](const char* what) {
        SetLastError("COM" + std::to_string(portNumber_) + " (" + deviceName_ + "): " + what +
                     ": " + ErrorText(GetLastError()));
        return false;
    };
    if (!SetupComm(d.handle, kQueueBytes, kQueueBytes)) return fail("cannot size the queues");
    if (!GetCommTimeouts(d.handle, &d.timeouts)) return fail("cannot read the time-outs");
    // Reads ask only for what has arrived, so these limits matter only to a driver that lags.
    d.timeouts.ReadIntervalTimeout = 0;
    d.timeouts.ReadTotalTimeoutMultiplier = 1;
    d.timeouts.ReadTotalTimeoutConstant = 1000;
    d.timeouts.WriteTotalTimeoutMultiplier = 1;
    d.timeouts.WriteTotalTimeoutConstant = 1000;
    if (!SetCommTimeouts(d.handle, &d.timeouts)) return fail("cannot set the time-outs");
    d.DropSendQueue();
    if (!PurgeComm(d.handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return fail("cannot clear the line");
    d.unseenErrors.store(0);
    return true;
}

bool cnComm::SetState(const char* settings) {
    if (!IsOpen()) return false;
    Device& d = *device_;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(d.handle, &dcb)) {
        SetLastError("COM" + std::to_string(portNumber_) + " (" + deviceName_ +
                     "): cannot read the line settings: " + ErrorText(GetLastError()));
        return false;
    }
    if (!settings || !BuildCommDCBA(settings, &dcb)) {
        SetLastError(std::string("line settings \"") + (settings ? settings : "") +
                     "\" not understood");
        return false;
    }
    // Raw bytes, no flow control of any kind, DTR and RTS held off, whatever the text says.
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    if (!SetCommState(d.handle, &dcb)) {
        SetLastError(std::string("line settings \"") + settings +
                     "\" not supported here: " + ErrorText(GetLastError()));
        return false;
    }
    d.lineSettings = dcb;
    (void)modemControl_->SetLines(reinterpret_cast<NativeDevice>(d.handle), kModemDtr | kModemRts,
                                  false);
    return true;
}

void cnComm::Close() {
    if (!IsOpen()) return;
    Device& d = *device_;
    d.DropSendQueue();
    (void)PurgeComm(d.handle, PURGE_TXABORT | PURGE_TXCLEAR);
    StopMonitor(kStopMonitorMs);
    // The purge ended the write in flight and a read left pending; their buffers are ours and
    // are reused by the next opening, so they must be done with before the handle goes.
    {
        std::lock_guard lock(d.sendMutex);
        if (d.writePending) d.AwaitCancelled(d.writeOv);
        d.writePending = false;
        d.writing.clear();
    }
    if (d.readPending) {
        (void)PurgeComm(d.handle, PURGE_RXABORT);
        d.AwaitCancelled(d.readOv);
        d.readPending = false;
    }
    CloseHandle(d.handle);
    d.handle = INVALID_HANDLE_VALUE;
}

unsigned cnComm::Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) {
    if (!IsOpen()) return 0;
    Device& d = *device_;
    unsigned count = 0;
    auto vanished = [&](DWORD error) {
        if (!IsVanishedError(error)) return false;
        MarkGone("read failed", static_cast<int>(error));
        return true;
    };
    auto takeReadResult = [&](DWORD got) {
        const unsigned n = std::min<unsigned>(got, maxLength);
        if (buffer && n > 0) std::memcpy(buffer, d.readBuffer.data(), n);
        count = n;
    };

    if (d.gone.load()) {
        // nothing: the device is gone
    } else if (d.readPending) {
        // The read an earlier call left behind: hand out what it brought, if it has ended.
        DWORD got = 0;
        if (GetOverlappedResult(d.handle, &d.readOv, &got, FALSE)) {
            d.readPending = false;
            takeReadResult(got);
        } else if (const DWORD error = GetLastError(); error != ERROR_IO_INCOMPLETE) {
            d.readPending = false;
            vanished(error);
        }
    } else {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(d.handle, &errors, &status)) {
            vanished(GetLastError());
        } else if ((errors | d.unseenErrors.exchange(0)) != 0) {
            // A line error spoils what arrived with it.
            (void)PurgeComm(d.handle, PURGE_RXABORT | PURGE_RXCLEAR);
        } else if (buffer && maxLength > 0 && status.cbInQue > 0) {
            // Only what has arrived: a read of more stays pending on some drivers whatever the
            // time-outs say.
            const DWORD want = std::min<DWORD>({maxLength, status.cbInQue, kReadChunkBytes});
            DWORD got = 0;
            ResetEvent(d.readOv.hEvent);
            if (ReadFile(d.handle, d.readBuffer.data(), want, &got, &d.readOv)) {
                takeReadResult(got);
            } else if (const DWORD error = GetLastError(); error == ERROR_IO_PENDING) {
                WaitForSingleObject(d.readOv.hEvent, timeoutMs);
                if (GetOverlappedResult(d.handle, &d.readOv, &got, FALSE))
                    takeReadResult(got);
                else if (GetLastError() == ERROR_IO_INCOMPLETE)
                    d.readPending = true;
            } else {
                vanished(error);
            }
        }
    }
    // Only after the read: data that arrived meanwhile is then seen by the monitor and
    // announced again, never lost.
    if (d.receivePending.exchange(false)) SetEvent(d.wake);
    return count;
}

unsigned cnComm::Write(const uint8_t* data, unsigned length) {
    if (!IsOpen()) return 0;
    Device& d = *device_;
    if (d.gone.load() || !data || length == 0) return 0;
    DWORD errors = 0;
    if (!ClearCommError(d.handle, &errors, nullptr)) {
        if (const DWORD error = GetLastError(); IsVanishedError(error)) {
            MarkGone("write failed", static_cast<int>(error));
            return 0;
        }
    } else if (errors != 0) {
        // A line error costs the output still waiting; these bytes go out after it.
        d.DropSendQueue();
        (void)PurgeComm(d.handle, PURGE_TXABORT | PURGE_TXCLEAR);
        d.unseenErrors.fetch_or(errors);
    }
    bool allWritten = false;
    bool wakeMonitor = false;
    DWORD error = 0;
    {
        std::lock_guard lock(d.sendMutex);
        const bool wasIdle = !d.writePending && d.sendQueue.empty();
        d.sendQueue.emplace_back(data, data + length);
        d.queued.fetch_add(length);
        bool drained = false;
        error = d.StartNextWriteLocked(drained);
        allWritten = error == 0 && wasIdle && !d.writePending && d.sendQueue.empty();
        wakeMonitor = d.writePending;
    }
    if (IsVanishedError(error))
        MarkGone("write failed", static_cast<int>(error));
    else if (error != 0)
        SetLastError("COM" + std::to_string(portNumber_) + " (" + deviceName_ +
                     "): write failed: " + ErrorText(error));
    // The monitor watches the write in flight and starts the next one when it ends.
    if (wakeMonitor) SetEvent(d.wake);
    return allWritten ? length : 0;
}

uint64_t cnComm::BytesQueued() const {
    return device_->queued.load();
}

uint64_t cnComm::BytesLeftHost() const {
    return device_->handed.load();
}

void cnComm::MarkGone(const char* what, int error) {
    Device& d = *device_;
    if (d.gone.exchange(true)) return;
    d.DropSendQueue();
    SetLastError("COM" + std::to_string(monitorPort_.load()) + " (" + d.name + "): " + what + ": " +
                 ErrorText(static_cast<DWORD>(error)));
    NotifyGone(error);
    SetEvent(d.wake);  // the monitor ends on its next look
}

bool cnComm::StartMonitor() {
    Device& d = *device_;
    if (d.monitor.joinable() || !IsOpen()) return false;
    ResetEvent(d.wake);
    ResetEvent(d.waitOv.hEvent);
    monitorPort_.store(portNumber_);
    d.monitorRunning.store(true);
    monitorActive_.store(true);
    try {
        std::packaged_task<int()> task([this] {
            // Notifications are what the worker waits for: let nothing else delay them.
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
            return MonitorLoop();
        });
        d.monitorExit = task.get_future();
        d.monitor = std::thread(std::move(task));
    } catch (const std::system_error& e) {
        d.monitorRunning.store(false);
        monitorActive_.store(false);
        SetLastError(std::string("cannot start the port monitor: ") + e.what());
        return false;
    }
    return true;
}

bool cnComm::StopMonitor(unsigned timeoutMs) {
    Device& d = *device_;
    if (!d.monitor.joinable()) return false;
    d.monitorRunning.store(false);
    // An empty mask completes a pending event wait at once; cancelling it instead is not
    // reliable everywhere (Wine finds nothing to cancel and then never completes it).
    (void)SetCommMask(d.handle, 0);
    SetEvent(d.wake);
    const bool inTime =
        d.monitorExit.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
    // The monitor never blocks without a bound on anything but its events, which are all set.
    d.monitor.join();
    ResetEvent(d.waitOv.hEvent);
    if (!inTime) SetLastError("the port monitor did not end in time");
    return inTime;
}

int cnComm::MonitorLoop() {
    Device& d = *device_;
    const unsigned port = monitorPort_.load();
    auto systemError = [&](const std::string& what, DWORD error) {
        SetLastError("COM" + std::to_string(port) + " (" + d.name + "): " + what + ": " +
                     ErrorText(error));
    };
    if (!SetCommMask(d.handle, kEventMask)) {
        // No event will ever come: tell the owner now rather than let it wait for a time-out.
        const DWORD error = GetLastError();
        char text[256];
        std::snprintf(text, sizeof text,
                      "COM%u Call WINAPI SetCommMask(%lx) Fail, thread work invalid! "
                      "GetLastError() = %lu;",
                      port, static_cast<unsigned long>(kEventMask), error);
        SetLastError(text);
        if (!d.gone.exchange(true)) NotifyGone(static_cast<int>(error));
        monitorActive_.store(false);
        return 1;
    }

    bool waiting = false;  // an event wait is in flight on waitOv
    DWORD backoffStepMs = kAbortedWaitFirstBackoffMs;
    auto nextBackoff = [&]() {
        const DWORD now = backoffStepMs;
        backoffStepMs = std::min(backoffStepMs * 2, kAbortedWaitLongestBackoffMs);
        return now;
    };
    DWORD events = 0;
    int exitCode = 0;
    auto markGone = [&](DWORD error) { MarkGone("the device is gone", static_cast<int>(error)); };
    // Posts WM_COMM_RXCHAR when data waits and none is unread. False when the device is gone.
    auto checkReceive = [&]() {
        if (d.receivePending.load()) return true;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(d.handle, &errors, &status)) {
            const DWORD error = GetLastError();
            if (IsVanishedError(error)) {
                markGone(error);
                return false;
            }
            return true;
        }
        if (errors) {
            d.unseenErrors.fetch_or(errors);
            NotifyError(static_cast<int64_t>(errors));
        }
        if (status.cbInQue > 0) {
            backoffStepMs = kAbortedWaitFirstBackoffMs;
            d.receivePending.store(true);
            NotifyReceive();
        }
        return true;
    };
    auto dispatch = [&](DWORD mask) {
        // One notification per event of the mask, in the order of the message table.
        if (mask & EV_RXCHAR) checkReceive();
        DWORD modem = 0;
        if ((mask & (EV_CTS | EV_DSR)) && GetCommModemStatus(d.handle, &modem)) {
            if (mask & EV_CTS) NotifyCts(modem & MS_CTS_ON);
            if (mask & EV_DSR) NotifyDsr(modem & MS_DSR_ON);
        }
        if (mask & EV_RING) NotifyRing();
        if (mask & EV_RLSD) NotifyRlsd();
        if (mask & EV_BREAK) NotifyBreak();
        if (mask & EV_TXEMPTY) {
            std::lock_guard lock(d.sendMutex);
            if (!d.writePending && d.sendQueue.empty()) NotifyTxEmpty();
        }
        if (mask & EV_ERR) {
            DWORD errors = 0;
            if (ClearCommError(d.handle, &errors, nullptr) && errors) {
                d.unseenErrors.fetch_or(errors);
                NotifyError(static_cast<int64_t>(errors));
            }
        }
    };

    while (d.monitorRunning.load() && !d.gone.load()) {
        // Look at the queue on every round: some drivers report EV_RXCHAR only for data that
        // was already there when the wait began, and a Read re-arms the notification.
        if (!checkReceive()) break;
        // Bytes a stalled device left queued get another try.
        {
            std::lock_guard lock(d.sendMutex);
            bool drained = false;
            if (!d.writePending && !d.sendQueue.empty()) (void)d.StartNextWriteLocked(drained);
        }

        // Never an endless wait: an idle monitor asks the driver now and then, which is how a
        // device that vanished without ending the wait shows up.
        DWORD backoffMs = kPathCheckMs;
        if (!waiting) {
            events = 0;
            ResetEvent(d.waitOv.hEvent);
            if (WaitCommEvent(d.handle, &events, &d.waitOv)) {
                if (events) backoffStepMs = kAbortedWaitFirstBackoffMs;
                dispatch(events);
                continue;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                waiting = true;
            } else if (IsVanishedError(error)) {
                markGone(error);
                break;
            } else {
                // Aborted by the driver, not by us (ERROR_OPERATION_ABORTED from Wine on a
                // pseudo-terminal), or refused: look again shortly.
                backoffMs = nextBackoff();
            }
        }

        HANDLE handles[3];
        DWORD count = 0;
        handles[count++] = d.wake;
        bool writeInFlight;
        {
            std::lock_guard lock(d.sendMutex);
            writeInFlight = d.writePending;
        }
        const DWORD writeIndex = writeInFlight ? count : MAXDWORD;
        if (writeInFlight) handles[count++] = d.writeOv.hEvent;
        const DWORD waitIndex = waiting ? count : MAXDWORD;
        if (waiting) handles[count++] = d.waitOv.hEvent;

        const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, backoffMs);
        if (woke == WAIT_FAILED) {
            MarkGone("the monitor cannot wait", static_cast<int>(GetLastError()));
            exitCode = 1;
            break;
        }
        if (!d.monitorRunning.load()) break;
        if (woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + writeIndex)
            backoffStepMs = kAbortedWaitFirstBackoffMs;

        if (woke == WAIT_OBJECT_0 + writeIndex) {
            bool drained = false;
            DWORD error;
            {
                std::lock_guard lock(d.sendMutex);
                error = d.FinishWriteLocked(drained);
            }
            if (error != 0 && IsVanishedError(error)) {
                markGone(error);
                break;
            }
            if (error != 0) systemError("write failed", error);
            if (drained) NotifyTxEmpty();
        } else if (woke == WAIT_OBJECT_0 + waitIndex) {
            waiting = false;
            DWORD n = 0;
            if (GetOverlappedResult(d.handle, &d.waitOv, &n, FALSE)) {
                if (events) backoffStepMs = kAbortedWaitFirstBackoffMs;
                dispatch(events);
            } else if (const DWORD error = GetLastError(); IsVanishedError(error)) {
                markGone(error);
                break;
            } else {
                // Ended without an event (see above): the next round checks the queue; wait a
                // little first so that a driver doing this all the time is not polled flat out.
                if (WaitForSingleObject(d.wake, nextBackoff()) == WAIT_OBJECT_0)
                    SetEvent(d.wake);  // keep the wake-up for the next round
            }
        }
    }

    // The empty mask set by StopMonitor ends a wait in flight; collect it (bounded) so the
    // record is free for the next opening.
    if (waiting) {
        (void)SetCommMask(d.handle, 0);
        d.AwaitCancelled(d.waitOv);
    }
    monitorActive_.store(false);
    return exitCode;
}

}  // namespace pelorin
