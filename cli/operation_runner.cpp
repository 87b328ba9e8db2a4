// One operation from the command line: checks and preparation, the start hand-over with the
// worker, then the worker's notifications until the end, a time-out or a cancel.
#include "cli/operation_runner.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdlib>
#include <optional>

#include "cli/cli_front.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/layout_source.h"
#include "config/data_prep.h"
#include "config/image_check.h"
#include "config/work_dir.h"
#include "serial/comm.h"
#include "serial/port_names.h"
#include "session/disposal_thread.h"
#include "session/messages.h"
#include "session/stage_texts.h"
#include "session/watchdog.h"

namespace pelorin::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLoaderBytesPerSecond = 115200.0 / 10;  // 8N1: ten bits a byte
constexpr auto kLoopWait = std::chrono::milliseconds(100);
constexpr const char* kNoBootRomText =
    "No answer from the board's boot ROM:\n   1. Cable is connected correctly.\n"
    "   2. Target board is power on (power it on or reset it now).\n"
    "   3. The crystal selection matches the board.\n";

// What one operation needs before the port is opened.
struct Preparation {
    SessionHeader header;
    std::optional<WorkDir> workDir;
    bool prepared = false;
};

int Prepare(const CliOptions& o, ProgressView& view, SharedState& shared, Preparation& prep) {
    std::string error;
    auto layout = LoadLayout(o.layoutFile, error);
    if (!layout) {
        view.Message(kErrorCaption, error);
        return kExitBadInput;
    }
    auto section = FindSection(*layout, o.section, error);
    if (!section) {
        view.Message(kErrorCaption, error);
        return kExitBadInput;
    }
    SessionHeader& h = prep.header;
    h.mode = uint8_t(o.command == Command::Download ? 0 : o.command == Command::Erase ? 1 : 2);
    h.chipCode = kChipTypes[o.chipPosition].code;
    h.crystalKhz = uint16_t(o.crystalKhz);
    h.memoryType = o.memoryType;
    h.memorySize = o.memorySize;
    h.sdramMode = o.sdramMode;
    h.startAddress = section->startAddr;
    h.sectionSize = section->segSize;
    shared.SetSessionHeader(h);
    view.Info("Section " + section->name + ", chip " + std::string(kChipTypes[o.chipPosition].name));
    if (o.command != Command::Download) return kExitOk;

    const bool whole = IsWholeFlashImage(o.file);
    DownloadFileCheck check = CheckDownloadFile(o.file, h.sectionSize, whole);
    if (!check.ok) {
        view.Message(kErrorCaption, check.error);
        return kExitBadInput;
    }
    auto userDir = PrivateUserDir(std::getenv("TMPDIR"));
    if (!userDir.error.empty()) {
        view.Message(kErrorCaption, userDir.error);
        return kExitBadInput;
    }
    prep.workDir = WorkDir::Open(userDir.path, &error);
    if (!prep.workDir || !ResetWorkTree(prep.workDir->Paths())) {
        view.Message(kErrorCaption, error.empty() ? "Cannot create the working directory" : error);
        return kExitBadInput;
    }
    PreparedData data = PrepareDataFile(prep.workDir->Paths(),
                                        {o.file, whole, h.startAddress, h.sectionSize});
    prep.prepared = true;
    if (!data.ok) {
        view.Message(kErrorCaption, data.error);
        return kExitBadInput;
    }
    shared.SetDataFilePath(data.dataFilePath.string());
    shared.SetHardwareInfo(data.HardwareInfoOver({}));
    return kExitOk;
}

// Follows the worker's notifications until the operation ends.
class OperationLoop {
public:
    OperationLoop(const CliOptions& o, ProgressView& view, SharedState& shared, MessageQueue& queue,
                  CliPrompt& prompt, const SessionHeader& header)
        : o_(o), view_(view), shared_(shared), queue_(queue), prompt_(prompt), header_(header) {}

    int Run() {
        lastTick_ = lastActivity_ = Clock::now();
        while (true) {
            Message m;
            if (queue_.GetFor(m, kLoopWait)) {
                if (auto code = Handle(m)) return *code;
            }
            if (cancelKeys_.Pressed()) return Cancel();
            if (auto code = Timers()) return *code;
        }
    }

private:
    std::optional<int> Handle(const Message& m) {
        switch (m.id) {
            case WM_SESSION_UPDATE: return OnUpdate(m.wParam, m.lParam);
            case WM_SESSION_SEND_BEGIN:
                sendBytes_ = m.wParam;
                view_.TransferBegin(m.wParam, kLoaderBytesPerSecond);
                break;
            case WM_SESSION_SEND_END: view_.TransferEnd(); break;
            case WM_SESSION_FINISHED: return Finished();
            case kCliPromptShown: return OnPrompt(prompt_.At(m.wParam));
            default: break;
        }
        return std::nullopt;
    }

    std::optional<int> OnUpdate(uint64_t kind, int64_t value) {
        lastActivity_ = Clock::now();
        timedOutSince_.reset();
        watchdog_.OnSessionUpdate(kind, value);
        if (kind == kUpdateStage) {
            stage_ = char(value);
            view_.Stage(stage_, shared_.StatusText());
            if (stage_ == 'G') view_.DumpBegin(header_.sectionSize);
        } else if (kind == kUpdateMain) {
            view_.Main(unsigned(value));
        } else if (kind == kUpdateSub) {
            view_.Sub(unsigned(value));
        }
        return std::nullopt;
    }

    std::optional<int> Finished() {
        if (stage_ == 'O') return Done(kExitOk, "Mission completed");
        return Done(kExitTransferError, std::string(StageTextFor(stage_)));
    }

    std::optional<int> OnPrompt(const PromptRequest& r) {
        if (r.text == kDecompressErrorText) return std::nullopt;  // FINISHED already decided
        if (r.caption != kErrorCaption) return std::nullopt;
        shared_.PostToWorker(WM_SESSION_STOP);
        return Done(kExitTransferError, r.text);
    }

    // One-second ticks of the watchdog, and the command line's own limits.
    std::optional<int> Timers() {
        const auto now = Clock::now();
        view_.Tick();
        while (now - lastTick_ >= std::chrono::milliseconds(o_.tickMs)) {
            lastTick_ += std::chrono::milliseconds(o_.tickMs);
            if (auto text = watchdog_.Tick()) TimedOut(*text);
        }
        const auto tick = std::chrono::milliseconds(o_.tickMs);
        // Waiting for the boot ROM is not watched by the watchdog; a script must not wait forever.
        if (stage_ == 0 && !timedOutSince_ && now - lastActivity_ >= kWatchdogTicks * tick)
            TimedOut(kNoBootRomText);
        // The data stream holds the watchdog: allow the line time of the file, then watch again.
        if (stage_ == 'K' && !timedOutSince_) {
            const auto lineTime = std::chrono::duration<double>(double(sendBytes_) / kLoaderBytesPerSecond * 1.25);
            if (now - lastActivity_ >= lineTime + kWatchdogTicks * tick) TimedOut(TimeoutMessageText('K'));
        }
        if (timedOutSince_ && now - *timedOutSince_ >= o_.giveUpSeconds * tick) {
            StopWorker();
            return Done(kExitTimedOut, "Gave up: the target did not answer");
        }
        return std::nullopt;
    }

    void TimedOut(const std::string& text) {
        view_.Message(kTimeoutCaption, text);
        if (!timedOutSince_) timedOutSince_ = Clock::now();
    }

    void StopWorker() {
        shared_.awaitBootRom = false;
        if (header_.mode == 2) shared_.dumpCancel = true;
        shared_.PostToWorker(WM_SESSION_STOP);
    }

    int Cancel() {
        StopWorker();
        return Done(kExitCancelled, "Cancel");
    }

    int Done(int code, const std::string& text) {
        view_.Result(code, text);
        return code;
    }

    const CliOptions& o_;
    ProgressView& view_;
    SharedState& shared_;
    MessageQueue& queue_;
    CliPrompt& prompt_;
    SessionHeader header_;
    Watchdog watchdog_;
    CancelKeys cancelKeys_;
    char stage_ = 0;
    uint64_t sendBytes_ = 0;
    Clock::time_point lastTick_;
    Clock::time_point lastActivity_;
    std::optional<Clock::time_point> timedOutSince_;
};

}  // namespace

unsigned ResolvePort(const std::string& text, PortNameTable& names, std::string& error) {
    std::string digits = text;
    if (text.size() > 3 && (text.compare(0, 3, "COM") == 0 || text.compare(0, 3, "com") == 0))
        digits = text.substr(3);
    if (!digits.empty() && digits.size() <= 5 &&
        std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        unsigned number = unsigned(std::stoul(digits));
        if (number >= kMinPortNumber && number <= kMaxPortNumber) return number;
        error = "port number " + digits + " is outside 1..1024";
        return 0;
    }
    if (text.find('/') != std::string::npos) {
        if (unsigned number = names.NumberFor(text)) return number;
        error = "no free port number for " + text;
        return 0;
    }
    error = "--port must be COMn, a number, or a device path, not '" + text + "'";
    return 0;
}

int RunOperation(const CliOptions& o, ProgressView& view) {
    if (o.port.empty()) {
        view.Message(kErrorCaption, "no port given: use --port (see: pelorin-cli ports)");
        return kExitBadInput;
    }
    SharedState shared;
    std::string error;
    const unsigned port = ResolvePort(o.port, shared.portNames, error);
    if (port == 0) {
        view.Message(kErrorCaption, error);
        return kExitBadInput;
    }
    TargetImages images;
    const char* imagesDir = !o.imagesDir.empty() ? o.imagesDir.c_str() : std::getenv(kImagesDirEnv);
    if (imagesDir && *imagesDir && !images.LoadOverrides(imagesDir, error)) {
        view.Message(kErrorCaption, error);
        return kExitBadInput;
    }

    Preparation prep;
    int code = Prepare(o, view, shared, prep);
    if (code == kExitOk) {
        MessageQueue queue;
        CliSink sink(queue);
        CliPrompt prompt(view, queue);
        auto comm = std::make_unique<cnComm>(shared.portNames);
        cnComm* commView = comm.get();
        CDisposalThread worker(std::move(comm), shared, sink, prompt, images);
        worker.Start();
        // Start hand-over: open at the crystal's speed and wait for the result.
        shared.SetOpenResult(kOpenPending);
        worker.Queue().Post(WM_SESSION_OPEN_PORT, o.crystalKhz, port);
        const uint8_t result = shared.WaitOpenResult(std::chrono::hours(24));
        if (result == kOpenFailed) {
            view.Message(kErrorCaption, o.port + ": " + commView->LastError());
            code = kExitPortFailed;
        } else if (o.command == Command::Dump && !shared.dumpFile.Create(o.file)) {
            view.Message(kErrorCaption, "Can't create the dump file " + o.file + ": " + std::strerror(errno));
            shared.PostToWorker(WM_SESSION_STOP);
            code = kExitBadInput;
        } else {
            shared.dumpCancel = false;
            shared.awaitBootRom = true;
            view.Info(std::string("Enter ") + (o.command == Command::Download ? "Download"
                                               : o.command == Command::Erase  ? "Erase"
                                                                              : "Dump") +
                      " Progress...");
            code = OperationLoop(o, view, shared, queue, prompt, prep.header).Run();
        }
        worker.Quit();
    }
    if (prep.workDir) CleanUpWorkFiles(prep.workDir->Paths(), prep.prepared);
    return code;
}

}  // namespace pelorin::cli
