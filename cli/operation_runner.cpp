// One operation from the command line: the request from the arguments, then the engine's
// operation followed until it ends, a time-out gives up or the operator cancels.
#include "cli/operation_runner.h"

#include <chrono>
#include <cstdlib>

#include "cli/cli_front.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/layout_source.h"
#include "cli/port_arg.h"
#include "session/chip_types.h"
#include "session/operation.h"

namespace pelorin::cli {
namespace {

constexpr auto kLoopWait = std::chrono::milliseconds(100);

OperationKind KindOf(Command command) {
    return command == Command::Download ? OperationKind::Download
           : command == Command::Erase  ? OperationKind::Erase
                                        : OperationKind::Dump;
}

// The request, or an error text.
std::string BuildRequest(const CliOptions& o, PortNameTable& names, OperationRequest& r) {
    std::string error;
    r.kind = KindOf(o.command);
    r.portLabel = o.port;
    r.portNumber = ResolvePort(o.port, names, error);
    if (r.portNumber == 0) return error;
    auto layout = LoadLayout(o.layoutFile, error);
    if (!layout) return error;
    auto section = FindSection(*layout, o.section, error);
    if (!section) return error;
    r.section = *section;
    r.file = o.file;
    r.header.chipCode = kChipTypes[o.chipPosition].code;
    r.header.crystalKhz = uint16_t(o.crystalKhz);
    r.header.memoryType = o.memoryType;
    r.header.memorySize = o.memorySize;
    r.header.sdramMode = o.sdramMode;
    r.giveUpSeconds = o.giveUpSeconds;
    r.limitSilentBoard = true;
    r.tickMs = o.tickMs;
    return {};
}

// Follows the operation until it ends.
void Follow(Operation& operation, MessageQueue& queue, CancelKeys& cancelKeys) {
    while (operation.Running()) {
        Message m;
        if (queue.GetFor(m, kLoopWait)) operation.OnMessage(m);
        if (cancelKeys.Pressed()) operation.Cancel();
        operation.Poll();
    }
}

}  // namespace

int RunOperation(const CliOptions& o, ProgressView& view) {
    if (std::string error = CheckPortMapText(std::getenv(kPortMapVariable)); !error.empty()) {
        view.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    TargetImages images;
    std::string error;
    const char* imagesDir = !o.imagesDir.empty() ? o.imagesDir.c_str() : std::getenv(kImagesDirEnv);
    if (imagesDir && *imagesDir && !images.LoadOverrides(imagesDir, error)) {
        view.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    MessageQueue queue;
    CliSink sink(queue);
    CliPrompt prompt(view);
    Outcome outcome;
    {
        // From here a cancel key no longer ends the program at once: the port may be open.
        CancelKeys cancelKeys;
        Board board(sink, prompt, images);
        OperationRequest request;
        if (error = BuildRequest(o, board.Shared().portNames, request); !error.empty()) {
            view.EarlyFailure(kExitBadInput, error);
            return kExitBadInput;
        }
        view.OnInfo("Section " + request.section->name + ", chip " +
                    std::string(kChipTypes[o.chipPosition].name));
        Operation operation(board, view);
        if (operation.Start(request) == Outcome::Running) Follow(operation, queue, cancelKeys);
        outcome = operation.State();
    }  // the worker has ended here: everything it had to say is said
    const int code = ExitCodeFor(outcome);
    view.PrintResult(code);
    return code;
}

}  // namespace pelorin::cli
