// Names of the endings.
#include "cli/progress_view.h"

#include <cstdio>

#include "cli/exit_codes.h"

namespace pelorin::cli {
namespace {

struct OutcomeRow {
    Outcome outcome;
    int exitCode;
    const char* name;  // in JSON
};
constexpr OutcomeRow kOutcomes[] = {
    {Outcome::Completed, kExitOk, "completed"},
    {Outcome::BadInput, kExitBadInput, "bad-input"},
    {Outcome::PortFailed, kExitPortFailed, "port-failed"},
    {Outcome::TimedOut, kExitTimedOut, "timed-out"},
    {Outcome::TransferError, kExitTransferError, "transfer-error"},
    {Outcome::DeviceGone, kExitDeviceGone, "device-gone"},
    {Outcome::Cancelled, kExitCancelled, "cancelled"},
};

}  // namespace

const char* OutcomeName(int exitCode) {
    if (exitCode == kExitVerifyFailed) return "verify-failed";
    if (exitCode == kExitLogFailed) return "log-failed";
    for (const OutcomeRow& row : kOutcomes)
        if (row.exitCode == exitCode) return row.name;
    return "failed";
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += char(c);
        }
    }
    return out;
}

int ExitCodeFor(Outcome outcome) {
    for (const OutcomeRow& row : kOutcomes)
        if (row.outcome == outcome) return row.exitCode;
    return kExitTransferError;
}

}  // namespace pelorin::cli
