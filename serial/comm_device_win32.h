// cnComm's device state on Windows, shared by the port (comm_win32.cpp) and its monitor
// (comm_monitor_win32.cpp): the overlapped handle, the event records, the read buffer and the
// send queue fed to the driver one overlapped write at a time.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "serial/comm.h"

namespace pelorin {

// Bounds every wait for a cancelled or purged operation: the driver should end it at once.
constexpr DWORD kCancelledIoWaitMs = 200;
// One overlapped read never asks for more than this; the rest stays queued for the next Read.
constexpr DWORD kReadChunkBytes = 16384;

// Errors after which the device is gone for good: the far end closed (a pseudo-terminal under
// Wine), the USB adapter was pulled, or the handle no longer names a device.
inline bool IsVanishedError(DWORD error) {
    return error == ERROR_NOT_READY || error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
           error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_GEN_FAILURE;
}

// The system's text for `error`, with its number.
std::string ErrorText(DWORD error);

inline HANDLE NewManualResetEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

inline void CloseEvent(HANDLE& h) {
    if (h) CloseHandle(h);
    h = nullptr;
}

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

}  // namespace pelorin
