// Log rows of the command line.
#include "cli/board_record.h"

#include <cstdio>

#include "cli/progress_view.h"
#include "config/sha256.h"
#include "session/chip_types.h"

namespace pelorin::cli {

BoardLogRecord LogRecordFor(const CliOptions& options, const OperationRequest& request,
                            const std::string& device, const BoardFacts& facts) {
    BoardLogRecord record;
    record.started = facts.started;
    record.port = request.portLabel;
    record.device = device;
    record.operation = KindName(request.kind);
    record.chip = std::string(kChipTypes[options.chipPosition].name);
    char crystal[16];
    std::snprintf(crystal, sizeof crystal, "%g", options.crystalKhz / 1000.0);
    record.crystal = crystal;
    record.section = request.section ? request.section->name : std::string();
    record.file = request.file;
    const bool hasFile = request.kind == OperationKind::Download ||
                         (request.kind == OperationKind::Dump && facts.exitCode == 0);
    if (hasFile && !request.file.empty()) record.sha256 = Sha256OfFile(request.file).value_or("");
    record.wireBytes = facts.wireBytes;
    record.seconds = facts.seconds;
    record.result = OutcomeName(facts.exitCode);
    record.message = facts.text;
    record.verify = facts.verify;
    return record;
}

}  // namespace pelorin::cli
