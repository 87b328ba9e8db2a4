// Log rows of the command line.
#include "cli/board_record.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "cli/host_identity.h"
#include "cli/progress_view.h"
#include "config/sha256.h"
#include "session/chip_types.h"
#include "session/session_protocol.h"

namespace pelorin::cli {
namespace {

// The hardware version the board was answered at 'V', when it got that far.
std::string HardwareVersion(const OperationRequest& request, char lastStage) {
    if (request.kind != OperationKind::Download || lastStage == 0 ||
        std::string_view("VDKHIO").find(lastStage) == std::string_view::npos)
        return {};
    HardwareInfo answer{};
    if (request.header.chipCode == kHardwareCheckChip && request.section &&
        request.section->startAddr == kHardwareCheckStart && request.prepared)
        answer = request.prepared->hardwareInfo;
    std::string hex;
    for (uint8_t b : answer) {
        char two[4];
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return hex;
}

}  // namespace

BoardLogRecord LogRecordFor(const CliOptions& options, const OperationRequest& request,
                            const std::string& device, const BoardFacts& facts) {
    BoardLogRecord record;
    record.started = facts.started;
    record.ended = facts.ended;
    record.port = request.portLabel;
    record.device = device;
    record.operation = KindName(request.kind);
    record.chip = std::string(kChipTypes[options.chipPosition].name);
    char crystal[16];
    std::snprintf(crystal, sizeof crystal, "%g", options.crystalKhz / 1000.0);
    record.crystal = crystal;
    record.section = request.section ? request.section->name : std::string();
    if (!options.file.empty()) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(options.file, ec);
        record.file = ec ? options.file : absolute.lexically_normal().string();
    }
    record.sha256 = facts.sha256;
    if (record.sha256.empty() && request.kind == OperationKind::Dump && facts.exitCode == 0)
        record.sha256 = Sha256OfFile(options.file).value_or("");
    record.wireBytes = facts.wireBytes;
    record.seconds = facts.seconds;
    record.result = OutcomeName(facts.exitCode);
    record.message = facts.text;
    record.verify = facts.verify;
    record.verifyDetail = facts.verifyDetail;
    record.hardwareVersion = HardwareVersion(request, facts.lastStage);
    const AdapterIdentity adapter = AdapterOf(device);
    record.adapterSerial = adapter.serial;
    record.adapterById = adapter.byId;
    record.station = HostName();
    return record;
}

}  // namespace pelorin::cli
