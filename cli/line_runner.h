// The production line: one board per port at once, the data file prepared once and shared,
// optionally each port again on the next board (--repeat), a read-back after each download
// (--verify), and a log row per board (--log).
#pragma once

#include <cstdio>

#include "cli/cli_options.h"
#include "cli/progress_view.h"
#include "config/board_log.h"

namespace pelorin::cli {

// TakeOverCancelKeys must have run first. Returns the run's exit status: 0 when every board
// completed, else the most severe of the boards' statuses (see exit_codes.h).
int RunLine(const CliOptions& options, ViewStyle style, std::FILE* out, std::FILE* err);

// The --log file, opened and checked before any board: a regular file that is not the download
// file. nullopt with `error` set when refused.
std::optional<BoardLog> OpenLog(const CliOptions& options, std::string& error);

// Whether the arguments ask for the production line rather than one plain operation.
bool WantsLine(const CliOptions& options);

}  // namespace pelorin::cli
