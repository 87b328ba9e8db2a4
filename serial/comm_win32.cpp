// cnComm on Windows: an overlapped handle on \\.\COMn with the driver's queues, time-outs and
// device-control block, reads and the send queue. The monitor thread is comm_monitor_win32.cpp.
#include <algorithm>
#include <cstring>

#include "serial/comm_device_win32.h"
#include "serial/comm_messages.h"

namespace pelorin {

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

bool cnComm::OpenNativeDevice() {
    Device& d = *device_;
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

}  // namespace pelorin
