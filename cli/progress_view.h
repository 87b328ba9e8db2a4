// How the command line shows an operation (bars redrawn in place on a terminal, one line per
// event otherwise, or one JSON object per event) and the names it gives an ending.
#pragma once

#include <string>

#include "cli/status_line.h"
#include "session/operation_view.h"

namespace pelorin::cli {

enum class ViewStyle { Bars, Lines, Json, Quiet };

// The program's exit status for an outcome.
int ExitCodeFor(Outcome outcome);
// The JSON name of an exit status ("completed", "timed-out", ...).
const char* OutcomeName(int exitCode);
std::string JsonEscape(const std::string& text);

}  // namespace pelorin::cli
