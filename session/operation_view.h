// What a front end is told about one operation, and how it ended. The window turns these into
// its controls, the command line into bars, lines or JSON. Called in the owner's thread.
#pragma once

#include <cstdint>
#include <string>

#include "session/byte_rate.h"

namespace pelorin {

// How an operation ended. Running while it runs.
enum class Outcome {
    NotStarted,
    Running,
    Completed,      // "Mission completed"
    BadInput,       // a check failed: no file, file too long, layout, working files
    PortFailed,     // the port could not be opened
    TimedOut,       // the target fell silent and the script limit ran out
    TransferError,  // send error, decompress error, hardware rejected, short dump
    Cancelled,      // the operator cancelled
    DeviceGone,     // the serial device vanished (adapter pulled, board's port closed)
};

// Bytes of the current step (a data stream or a dump) as measured.
struct StepProgress {
    bool active = false;
    bool dump = false;
    uint64_t total = 0;
    uint64_t done = 0;            // left the host (stream) or arrived (dump)
    double bytesPerSecond = 0;    // over the last seconds; 0 until measured
    double secondsLeft = -1;      // -1 while unknown
    unsigned overallPercent = 0;  // the whole operation, moving during the step too
};

class IOperationView {
  public:
    virtual ~IOperationView() = default;
    // The operation runs: the port is open and the worker waits for the boot ROM.
    virtual void OnStarted(const std::string& statusText) = 0;
    // A stage began; `text` is its status text.
    virtual void OnStage(char letter, const std::string& text) = 0;
    virtual void OnMainPercent(unsigned percent) = 0;
    virtual void OnSubPercent(unsigned percent) = 0;
    // A long write of `bytes` began / ended (the window's send estimate follows it).
    virtual void OnSendBegin(uint64_t bytes) = 0;
    virtual void OnSendEnd() = 0;
    // The watchdog ran out at `stage`; `text` is the time-out message.
    virtual void OnTimeout(char stage, const std::string& text) = 0;
    // A message of the operation itself that is no message box (section and chip chosen, ...).
    virtual void OnInfo(const std::string& text) = 0;
    // Measured progress of a data stream or a dump; called from Poll while one runs.
    virtual void OnStep(const StepProgress& step) { (void)step; }
    // The operation ended (also for a start that failed a check). `text` names why;
    // `shownAsMessage` tells that the operator saw (or is about to see) it as a message box.
    virtual void OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) = 0;
};

}  // namespace pelorin
