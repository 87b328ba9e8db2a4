// One operation from the command line: the request from the arguments, then the engine's
// operation followed until it ends, a time-out gives up or the operator cancels.
#include "cli/operation_runner.h"

#include <chrono>
#include <cstdlib>

#include "cli/board_record.h"
#include "cli/cli_front.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/layout_source.h"
#include "cli/line_runner.h"
#include "cli/port_arg.h"
#include "session/chip_types.h"
#include "session/operation.h"
#include "session/session_protocol.h"
#include "session/stage_texts.h"

namespace pelorin::cli {
namespace {

constexpr auto kLoopWait = std::chrono::milliseconds(100);

OperationKind KindOf(Command command) {
    return command == Command::Download ? OperationKind::Download
           : command == Command::Erase  ? OperationKind::Erase
                                        : OperationKind::Dump;
}

// Follows the operation until it ends.
void Follow(Operation& operation, MessageQueue& queue, CancelKeys& cancelKeys, LineScreen& screen,
            PortView& view) {
    while (operation.Running()) {
        Message m;
        if (queue.GetFor(m, kLoopWait)) operation.OnMessage(m);
        if (cancelKeys.Pressed()) {
            view.Cancelling();
            operation.Cancel();
        }
        if (TerminalResized()) screen.Resized();
        operation.Poll();
    }
}

}  // namespace

std::string CancelledText(OperationKind kind, char stage, const std::string& section,
                          const std::string& dumpInfo) {
    std::string text = "Cancelled before the board answered";
    if (stage != 0)
        text = "Cancelled at stage '" + std::string(1, stage) + "' (" +
               std::string(StageTextFor(stage)) + ")";
    // The board's loader erases, then writes; nothing before touches the flash, and a dump
    // only reads it.
    const std::string again =
        kind == OperationKind::Download ? "; download it again." : "; erase it again.";
    if (kind != OperationKind::Dump && stage == 'H')
        text += ": section " + section + " may be partly erased" + again;
    else if (kind != OperationKind::Dump && stage == 'I')
        text += ": section " + section + " may be half-written" + again;
    else
        text += ": the flash is as it was.";
    if (!dumpInfo.empty()) text += " " + dumpInfo;
    return text;
}

std::string BuildRequest(const CliOptions& options, OperationRequest& request) {
    std::string error;
    request.kind = KindOf(options.command);
    Compression layoutCompression = Compression::Standard;
    auto layout = LoadLayout(options.layoutFile, error, &layoutCompression);
    if (!layout) return error;
    auto section = FindSection(*layout, options.section, error);
    if (!section) return error;
    request.section = *section;
    request.file = options.file;
    request.compression = options.compression.value_or(layoutCompression);
    request.header.chipCode = kChipTypes[options.chipPosition].code;
    request.header.crystalKhz = uint16_t(options.crystalKhz);
    request.header.memoryType = options.memoryType;
    request.header.memorySize = options.memorySize;
    request.header.sdramMode = options.sdramMode;
    request.giveUpSeconds = options.giveUpSeconds;
    request.limitSilentBoard = true;
    request.tickMs = options.tickMs;
    return {};
}

std::string LoadImages(const CliOptions& options, TargetImages& images) {
    std::string error;
    const char* dir =
        !options.imagesDir.empty() ? options.imagesDir.c_str() : std::getenv(kImagesDirEnv);
    if (dir && *dir && !images.LoadOverrides(dir, error)) return error;
    return {};
}

int RunOperation(const CliOptions& options, ViewStyle style, std::FILE* out, std::FILE* err) {
    LineScreen screen(style, out, err, {options.port}, false, true);
    PortView view(screen, 0);
    if (std::string error = CheckPortMapText(std::getenv(kPortMapVariable)); !error.empty()) {
        screen.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    TargetImages images;
    std::string error = LoadImages(options, images);
    if (!error.empty()) {
        screen.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    std::optional<BoardLog> log;
    if (!options.logFile.empty() && !(log = OpenLog(options, error))) {
        screen.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    MessageQueue queue;
    CliSink sink(queue);
    CliPrompt prompt(screen);
    std::optional<WorkDir> dir;
    Outcome outcome;
    std::string endText;
    std::string logError;
    {
        // From here a cancel key no longer ends the program at once: the port may be open.
        CancelKeys cancelKeys;
        Board board(sink, prompt, images);
        OperationRequest request;
        request.portLabel = options.port;
        request.portNumber = ResolvePort(options.port, board.Shared().portNames, error);
        if (request.portNumber != 0) error = BuildRequest(options, request);
        if (!error.empty()) {
            screen.EarlyFailure(kExitBadInput, error);
            return kExitBadInput;
        }
        view.OnInfo("Section " + request.section->name + ", chip " +
                    std::string(kChipTypes[options.chipPosition].name));
        Operation operation(board, view);
        BoardFacts facts;
        // Logged, the board is sent the bytes that were hashed: the file is read once.
        if (log && request.kind == OperationKind::Download) {
            if (error = PrepareOnce(options.file, request, dir, facts.sha256, nullptr);
                !error.empty()) {
                CleanUpOnce(dir);
                screen.Message(0, kErrorCaption, error);
                screen.Result(kExitBadInput, error, true);
                return kExitBadInput;
            }
        }
        facts.started = std::chrono::system_clock::now();
        const auto steadyStart = std::chrono::steady_clock::now();
        if (operation.Start(request) == Outcome::Running)
            Follow(operation, queue, cancelKeys, screen, view);
        outcome = operation.State();
        endText = outcome == Outcome::Cancelled
                      ? CancelledText(request.kind, operation.Stage(), request.section->name,
                                      view.HeldInfo())
                      : view.EndText();
        if (log) {
            facts.ended = std::chrono::system_clock::now();
            facts.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart)
                    .count();
            facts.wireBytes = operation.WireBytes();
            facts.exitCode = ExitCodeFor(outcome);
            facts.text = endText;
            facts.lastStage = operation.Stage();
            logError = log->Append(
                LogRecordFor(options, request,
                             board.Shared().portNames.DevicePath(request.portNumber), facts),
                [&cancelKeys] { return cancelKeys.Pending(); });
        }
    }  // the worker has ended here: everything it had to say is said
    CleanUpOnce(dir);
    int code = ExitCodeFor(outcome);
    if (!logError.empty()) {
        screen.Message(0, kErrorCaption, logError);
        code = MostSevere(code, kExitLogFailed);
    }
    screen.Result(code, endText, view.EndShown());
    return code;
}

}  // namespace pelorin::cli
