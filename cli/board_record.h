// The log row of one board from what the command line knows of it.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "config/board_log.h"
#include "session/operation.h"

namespace pelorin::cli {

struct BoardFacts {
    std::chrono::system_clock::time_point started;
    std::chrono::system_clock::time_point ended;
    double seconds = 0;
    uint64_t wireBytes = 0;
    int exitCode = 0;
    std::string text;
    std::string verify;        // passed, failed, not done; empty when not asked for
    std::string verifyDetail;  // what the comparison found, or why it did not run
    // The digest of the bytes the board was sent; when empty, a completed dump's file is read.
    std::string sha256;
    char lastStage = 0;  // the last stage the board announced
};

// `device` is the path behind the port. The file column is the operator's file (options.file)
// as an absolute path, whatever copy the board was sent.
BoardLogRecord LogRecordFor(const CliOptions& options, const OperationRequest& request,
                            const std::string& device, const BoardFacts& facts);

}  // namespace pelorin::cli
