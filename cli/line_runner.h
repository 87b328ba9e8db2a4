// The production line: one board per port at once, the data file prepared once and shared,
// optionally each port again on the next board (--repeat), a read-back after each download
// (--verify), and a log row per board (--log).
#pragma once

#include <cstdio>

#include "cli/cli_options.h"
#include "cli/progress_view.h"
#include "config/board_log.h"
#include "config/flash_compare.h"
#include "config/work_dir.h"
#include "session/operation.h"

namespace pelorin::cli {

// TakeOverCancelKeys must have run first. Returns the run's exit status: 0 when every board
// completed, else the most severe of the boards' statuses (see exit_codes.h).
int RunLine(const CliOptions& options, ViewStyle style, std::FILE* out, std::FILE* err);

// The --log file, opened and checked before any board: a regular file that is not the download
// file. nullopt with `error` set when refused.
std::optional<BoardLog> OpenLog(const CliOptions& options, std::string& error);

// A Download's file read once into a private folder (`dir`, opened when empty), hashed on the
// way into `sha256`, and its data prepared from that copy into `request`; `written`, when
// given, gets what a verify compares with. Error text, empty on success.
std::string PrepareOnce(const std::string& file, OperationRequest& request,
                        std::optional<WorkDir>& dir, std::string& sha256, WrittenData* written);

// Removes what PrepareOnce and the verifies left in `dir`.
void CleanUpOnce(std::optional<WorkDir>& dir);

// Whether the arguments ask for the production line rather than one plain operation.
bool WantsLine(const CliOptions& options);

}  // namespace pelorin::cli
