// The log row of one board from what the command line knows of it.
#pragma once

#include <chrono>
#include <string>

#include "cli/cli_options.h"
#include "config/board_log.h"
#include "session/operation.h"

namespace pelorin::cli {

struct BoardFacts {
    std::chrono::system_clock::time_point started;
    double seconds = 0;
    uint64_t wireBytes = 0;
    int exitCode = 0;
    std::string text;
    std::string verify;
};

// `device` is the path behind the port. The file's SHA-256 is taken here: the download's
// input, or the dump written.
BoardLogRecord LogRecordFor(const CliOptions& options, const OperationRequest& request,
                            const std::string& device, const BoardFacts& facts);

}  // namespace pelorin::cli
