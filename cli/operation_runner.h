// Runs one Download, Erase or Dump from the command line and returns its exit status.
#pragma once

#include <cstdio>
#include "cli/cli_options.h"

#include "cli/progress_view.h"
#include "session/operation.h"

namespace pelorin::cli {

// The request from the arguments, without its port; an error text when the layout or section
// is wrong.
std::string BuildRequest(const CliOptions& options, OperationRequest& request);
// The replacement loader images of --images or the environment; an error text when refused.
std::string LoadImages(const CliOptions& options, TargetImages& images);

// What a cancel left, for the operator: the stage it caught, whether the section may be half
// erased or written, and what became of a dump (`dumpInfo`, the operation's own words on it).
std::string CancelledText(OperationKind kind, char stage, const std::string& section,
                          const std::string& dumpInfo);

// TakeOverCancelKeys must have run first: the cancel keys cancel the operation like the
// window's cancel button.
int RunOperation(const CliOptions& options, ViewStyle style, std::FILE* out, std::FILE* err);

}  // namespace pelorin::cli
