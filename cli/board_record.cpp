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

BoardLogRecord LogRecordFor(const CliOptions& o, const OperationRequest& request,
                            const std::string& device, const BoardFacts& facts) {
    BoardLogRecord r;
    r.started = facts.started;
    r.ended = facts.ended;
    r.port = request.portLabel;
    r.device = device;
    r.operation = KindName(request.kind);
    r.chip = std::string(kChipTypes[o.chipPosition].name);
    char crystal[16];
    std::snprintf(crystal, sizeof crystal, "%g", o.crystalKhz / 1000.0);
    r.crystal = crystal;
    r.section = request.section ? request.section->name : std::string();
    if (!o.file.empty()) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(o.file, ec);
        r.file = ec ? o.file : absolute.lexically_normal().string();
    }
    r.sha256 = facts.sha256;
    if (r.sha256.empty() && request.kind == OperationKind::Dump && facts.exitCode == 0)
        r.sha256 = Sha256OfFile(o.file).value_or("");
    r.wireBytes = facts.wireBytes;
    r.seconds = facts.seconds;
    r.result = OutcomeName(facts.exitCode);
    r.message = facts.text;
    r.verify = facts.verify;
    r.verifyDetail = facts.verifyDetail;
    r.hardwareVersion = HardwareVersion(request, facts.lastStage);
    const AdapterIdentity adapter = AdapterOf(device);
    r.adapterSerial = adapter.serial;
    r.adapterById = adapter.byId;
    r.station = HostName();
    return r;
}

}  // namespace pelorin::cli
