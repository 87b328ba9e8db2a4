// Log rows of the command line.
#include "cli/board_record.h"

#include <cstdio>

#include "cli/progress_view.h"
#include "config/sha256.h"
#include "session/chip_types.h"

namespace pelorin::cli {

BoardLogRecord LogRecordFor(const CliOptions& o, const OperationRequest& request,
                            const std::string& device, const BoardFacts& facts) {
    BoardLogRecord r;
    r.started = facts.started;
    r.port = request.portLabel;
    r.device = device;
    r.operation = KindName(request.kind);
    r.chip = std::string(kChipTypes[o.chipPosition].name);
    char crystal[16];
    std::snprintf(crystal, sizeof crystal, "%g", o.crystalKhz / 1000.0);
    r.crystal = crystal;
    r.section = request.section ? request.section->name : std::string();
    r.file = request.file;
    const bool hasFile = request.kind == OperationKind::Download ||
                         (request.kind == OperationKind::Dump && facts.exitCode == 0);
    if (hasFile && !request.file.empty()) r.sha256 = Sha256OfFile(request.file).value_or("");
    r.wireBytes = facts.wireBytes;
    r.seconds = facts.seconds;
    r.result = OutcomeName(facts.exitCode);
    r.message = facts.text;
    r.verify = facts.verify;
    return r;
}

}  // namespace pelorin::cli
