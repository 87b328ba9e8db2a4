// Runs one Download, Erase or Dump from the command line and returns its exit status.
#pragma once

#include <string>

#include "cli/cli_options.h"
#include "cli/progress_view.h"
#include "serial/port_names.h"

namespace pelorin::cli {

// The port number a --port text names: "COMn", a number, or a device path (given a number
// through the port name table). 0 with `error` set when it names nothing.
unsigned ResolvePort(const std::string& text, PortNameTable& names, std::string& error);

// TakeOverCancelKeys must have run first: the cancel keys cancel the operation like the
// window's cancel button.
int RunOperation(const CliOptions& options, ProgressView& view);

}  // namespace pelorin::cli
