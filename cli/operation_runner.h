// Runs one Download, Erase or Dump from the command line and returns its exit status.
#pragma once

#include "cli/cli_options.h"
#include "cli/progress_view.h"

namespace pelorin::cli {

// TakeOverCancelKeys must have run first: the cancel keys cancel the operation like the
// window's cancel button.
int RunOperation(const CliOptions& options, ProgressView& view);

}  // namespace pelorin::cli
