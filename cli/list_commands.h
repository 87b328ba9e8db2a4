// The command line's listings: ports, chip types, flash sections.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"

namespace pelorin::cli {

int ListPorts(const CliOptions& options, std::FILE* out);
int ListChips(const CliOptions& options, std::FILE* out);
int ListSections(const CliOptions& options, std::FILE* out, std::FILE* err);

}  // namespace pelorin::cli
