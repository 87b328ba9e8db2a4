// One operation on one board, for every front end.
#include "session/operation.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "config/data_prep.h"
#include "config/image_check.h"
#include "session/disposal_thread.h"
#include "session/messages.h"
#include "session/session_protocol.h"
#include "session/stage_texts.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;

// The worker answers an open request at once; longer than this means it is stuck.
constexpr auto kOpenAnswerLimit = 10s;
// How long an ending dump waits for the worker to close its file after the stop request.
constexpr auto kDumpCloseWait = 2s;
constexpr double kLoaderBytesPerSecond = 115200.0 / 10;  // 8N1: ten bits a byte

constexpr const char* kNoBootRomText =
    "No answer from the board's boot ROM:\n   1. Cable is connected correctly.\n"
    "   2. Target board is power on (power it on or reset it now).\n"
    "   3. The crystal selection matches the board.\n";
constexpr const char* kDialoutHint =
    "\nThe account may not use serial ports: add it to the 'dialout' group "
    "(sudo usermod -aG dialout $USER, then log in again) or give the device a udev rule.";

constexpr const char* kKindNames[] = {"Download", "Erase", "Dump"};

std::string Plural(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

}  // namespace

std::string CheckInputFile(const std::string& file, const SegmentEntry& section, bool& whole) {
    namespace fs = std::filesystem;
    if (file.empty()) return kNoDownloadFileText;
    if (std::string error = CheckRegularFile(file); !error.empty()) return error;
    std::error_code ec;
    std::ifstream in(file, std::ios::binary);
    if (!in) return "Can't open " + file + ": " + std::generic_category().message(errno);
    const uint64_t length = fs::file_size(file, ec);
    if (ec) return "Can't read " + file + ": " + ec.message();
    if (length == 0) return "The file is empty: " + file;
    whole = IsWholeFlashImage(file);
    if (length > section.segSize && !whole)
        return std::string(kFileTooLongText) + "\n" + file + " has " + Plural(length) +
               ", section " + section.name + " holds " + Plural(section.segSize) + ".";
    return {};
}

const char* KindName(OperationKind kind) {
    return kKindNames[static_cast<int>(kind)];
}

std::string PrepareSharedData(OperationRequest& request, const WorkPaths& paths, bool& wholeImage) {
    if (!request.section)
        return "The layout defines no flash section: there is nothing to Download.";
    if (std::string error = CheckInputFile(request.file, *request.section, wholeImage);
        !error.empty())
        return error;
    PreparedData data =
        PrepareDataFile(paths, {request.file, wholeImage, request.section->startAddr,
                                request.section->segSize, request.compression});
    if (!data.ok) return data.error;
    request.prepared =
        OperationRequest::Prepared{data.dataFilePath.string(), data.HardwareInfoOver({})};
    return {};
}

Operation::Operation(Board& board, IOperationView& view) : board_(board), view_(view) {}

Operation::~Operation() {
    if (Running()) Cancel();
}

Outcome Operation::Start(const OperationRequest& request) {
    request_ = request;
    stage_ = 0;
    sending_ = false;
    wireBytes_ = 0;
    timedOutSince_.reset();
    watchdog_ = pelorin::Watchdog();
    rate_.Reset();
    Outcome outcome = Prepare(request);
    if (outcome == Outcome::Running) outcome = OpenBoardPort();
    if (outcome != Outcome::Running) return outcome_;
    SharedState& shared = board_.Shared();
    shared.dumpCancel = false;
    shared.dumpReceived = 0;
    shared.awaitBootRom = true;
    outcome_ = Outcome::Running;
    lastActivity_ = Clock::now();
    view_.OnStarted(std::string("Enter ") + KindName(request.kind) + " Progress...");
    return outcome_;
}

Outcome Operation::Prepare(const OperationRequest& request) {
    SharedState& shared = board_.Shared();
    SessionHeader header = request.header;
    header.mode = static_cast<uint8_t>(request.kind);
    if (!request.section) {
        Report(kErrorCaption,
               "The layout defines no flash section: there is nothing to " +
                   std::string(KindName(request.kind)) + ".",
               Outcome::BadInput);
        return outcome_;
    }
    header.startAddress = request.section->startAddr;
    header.sectionSize = request.section->segSize;
    shared.SetSessionHeader(header);

    if (request.kind == OperationKind::Dump && request.file.empty()) {
        Report(kErrorCaption, "Please choose to dump files!", Outcome::BadInput);
        return outcome_;
    }
    // Every operation opens a run folder: that also sweeps the folders of runs that ended
    // without cleaning up (killed, or the machine went down).
    std::string error;
    const char* tmpdir =
        request.tempBase.empty() ? std::getenv("TMPDIR") : request.tempBase.c_str();
    UserDirResult userDir = PrivateUserDir(tmpdir);
    if (userDir.error.empty()) workDir_ = WorkDir::Open(userDir.path, &error);
    if (!userDir.error.empty() || !workDir_ || !ResetWorkTree(workDir_->Paths())) {
        error = !userDir.error.empty() ? userDir.error : error;
        Report(kErrorCaption, error.empty() ? "Can't create the working directory" : error,
               Outcome::BadInput);
        return outcome_;
    }
    if (request.kind == OperationKind::Download) {
        // A production line hands in the file it prepared once for every board.
        OperationRequest own = request;
        if (!own.prepared) {
            dataPrepared_ = true;
            bool whole = false;
            if (error = PrepareSharedData(own, workDir_->Paths(), whole); !error.empty()) {
                Report(kErrorCaption, error, Outcome::BadInput);
                return outcome_;
            }
        }
        shared.SetDataFilePath(own.prepared->dataFile);
        shared.SetHardwareInfo(own.prepared->hardwareInfo);
    }
    // Made before the port opens, so a folder that refuses it costs nothing on the line.
    if (request.kind == OperationKind::Dump && !shared.dumpFile.Create(request.file, &error)) {
        Report(kErrorCaption, "Can't create the dump file " + request.file + ": " + error,
               Outcome::BadInput);
        return outcome_;
    }
    return Outcome::Running;
}

Outcome Operation::OpenBoardPort() {
    SharedState& shared = board_.Shared();
    shared.SetOpenResult(kOpenPending);
    board_.Post(WM_SESSION_OPEN_PORT, request_.header.crystalKhz, request_.portNumber);
    const uint8_t result = shared.WaitOpenResult(kOpenAnswerLimit);
    if (result != kOpenPending && result != kOpenFailed) return Outcome::Running;
    std::string text;
    if (result == kOpenPending) {
        board_.Post(WM_SESSION_STOP);
        text = request_.portLabel + ": the port did not answer the open request in time";
    } else {
        // The port's own reason already names the port and its device.
        const std::string why = board_.PortError();
        text = why.empty() ? request_.portLabel + ": " + kCantOpenPortText : why;
        if (board_.PortErrorKind() == PortErrorKind::PermissionDenied) text += kDialoutHint;
    }
    // A dump file made for this run holds nothing yet: Close removes it.
    shared.dumpFile.Close();
    End(Outcome::PortFailed, text, false);
    return outcome_;
}

void Operation::OnMessage(const Message& message) {
    if (!Running()) return;
    switch (message.id) {
        case WM_SESSION_UPDATE:
            OnUpdate(message.wParam, message.lParam);
            break;
        case WM_SESSION_SEND_BEGIN:
            sendBytes_ = message.wParam;
            sending_ = true;
            rate_.Reset();
            view_.OnSendBegin(message.wParam);
            break;
        case WM_SESSION_SEND_END:
            sending_ = false;
            view_.OnSendEnd();
            break;
        case WM_SESSION_FINISHED:
            OnFinished();
            break;
        case WM_SESSION_PORT_LOST:
            OnPortLost(message.lParam);
            break;
        case kPromptShownMessage:
            OnPromptShown(board_.PromptAt(message.wParam));
            break;
        default:
            break;
    }
}

void Operation::OnUpdate(uint64_t kind, int64_t value) {
    const auto now = Clock::now();
    lastActivity_ = now;
    timedOutSince_.reset();
    watchdog_.OnSessionUpdate(kind, value);
    // The watchdog's second restarts with every notification.
    nextTick_ = now + std::chrono::milliseconds(request_.tickMs);
    if (kind == kUpdateStage) {
        stage_ = static_cast<char>(value & 0xFF);
        sending_ = false;  // a long write belongs to the stage that announced it
        rate_.Reset();
        // The letter's own text: the shared text may already hold a later stage's.
        const std::string_view text = StageTextFor(stage_);
        view_.OnStage(stage_, text.empty() ? board_.Shared().StatusText() : std::string(text));
    } else if (kind == kUpdateMain) {
        view_.OnMainPercent(static_cast<unsigned>(value));
    } else if (kind == kUpdateSub) {
        view_.OnSubPercent(static_cast<unsigned>(value));
    }
}

void Operation::OnFinished() {
    if (stage_ == 'O') {
        End(Outcome::Completed, std::string(StageTextFor('O')), false);
        return;
    }
    // 'N' comes with its own message box; 'P' only with its stage text.
    const std::string text(StageTextFor(stage_));
    End(Outcome::TransferError, text.empty() ? "The target ended the operation" : text,
        stage_ == 'N');
}

void Operation::OnPromptShown(const PromptRequest& prompt) {
    if (prompt.caption != kErrorCaption) return;
    if (prompt.text == kDecompressErrorText) return;  // the finishing sequence decides
    StopWorker();
    End(Outcome::TransferError, prompt.text, true);
}

void Operation::OnPortLost(int64_t error) {
    std::string text = "The serial device has gone away: " + request_.portLabel;
    if (error > 0) text += " (" + std::generic_category().message(static_cast<int>(error)) + ")";
    StopWorker();
    board_.Prompt().Show({text, kErrorCaption, PromptIcon::Warning});
    End(Outcome::DeviceGone, text, true);
}

void Operation::Poll(Clock::time_point now) {
    if (!Running()) return;
    if (watchdog_.Running()) {
        const auto tick = std::chrono::milliseconds(request_.tickMs);
        while (Running() && watchdog_.Running() && now >= nextTick_) {
            nextTick_ += tick;
            if (auto text = watchdog_.Tick()) {
                if (!timedOutSince_) timedOutSince_ = now;
                view_.OnTimeout(watchdog_.Stage(), *text);
            }
        }
    }
    ScriptLimits(now);
    SampleWire();
    if (Running() && ((stage_ == 'K' && sending_) || stage_ == 'G')) view_.OnStep(Step(now));
}

void Operation::ScriptLimits(Clock::time_point now) {
    if (!request_.limitSilentBoard && request_.giveUpSeconds == 0) return;
    const auto tick = std::chrono::milliseconds(request_.tickMs);
    if (request_.limitSilentBoard && !timedOutSince_) {
        // Waiting for the boot ROM is not watched by the watchdog: a script must not wait
        // forever for a board that is off.
        if (stage_ == 0 && !request_.waitForBoard && now - lastActivity_ >= kWatchdogTicks * tick) {
            timedOutSince_ = now;
            view_.OnTimeout(0, kNoBootRomText);
        }
        // The data stream holds the watchdog. While bytes wait to leave, a line that drains
        // nothing for the watchdog's time is the same silence: the board stopped taking them.
        // Once all have left, the board gets the line time of the file to unpack and answer.
        if (stage_ == 'K') {
            const uint64_t left = board_.Port().BytesLeftHost();
            if (left != drained_ || drainedAt_ < lastActivity_) {
                drained_ = left;
                drainedAt_ = std::max(now, lastActivity_);
            }
            const bool waiting = left < board_.Port().BytesQueued();
            const auto lineTime =
                std::chrono::duration<double>(double(sendBytes_) / kLoaderBytesPerSecond * 1.25);
            if (waiting ? now - std::max(lastActivity_, drainedAt_) >= kWatchdogTicks * tick
                        : now - lastActivity_ >= lineTime + kWatchdogTicks * tick) {
                timedOutSince_ = now;
                view_.OnTimeout('K', TimeoutMessageText('K'));
            }
        }
    }
    if (timedOutSince_ && request_.giveUpSeconds > 0 &&
        now - *timedOutSince_ >= request_.giveUpSeconds * tick) {
        StopWorker();
        End(Outcome::TimedOut, "Gave up: the target did not answer", false);
    }
}

StepProgress Operation::Step(Clock::time_point now) {
    StepProgress step;
    const SharedState& shared = board_.Shared();
    if (stage_ == 'K' && sending_) {
        const uint64_t left = board_.Port().BytesLeftHost();
        const uint64_t before = shared.sendStartQueued.load();
        step.total = sendBytes_;
        step.done = std::min<uint64_t>(left > before ? left - before : 0, sendBytes_);
        // The stream is the second quarter of a download.
        step.overallPercent = 25 + unsigned(step.total ? step.done * 25 / step.total : 0);
    } else if (stage_ == 'G') {
        step.dump = true;
        step.total = request_.section ? request_.section->segSize : 0;
        step.done = std::min<uint64_t>(shared.dumpReceived.load(), step.total);
        step.overallPercent = 25 + unsigned(step.total ? step.done * 75 / step.total : 0);
    } else {
        return step;
    }
    step.active = true;
    rate_.Sample(now, step.done);
    step.bytesPerSecond = rate_.BytesPerSecond();
    if (step.bytesPerSecond > 0)
        step.secondsLeft = double(step.total - step.done) / step.bytesPerSecond;
    return step;
}

void Operation::Cancel() {
    if (!Running()) return;
    watchdog_.Stop();
    StopWorker();
    End(Outcome::Cancelled, "Cancel", false);
}

void Operation::StopWorker() {
    SharedState& shared = board_.Shared();
    shared.awaitBootRom = false;
    if (request_.kind == OperationKind::Dump) shared.dumpCancel = true;
    board_.Post(WM_SESSION_STOP);
}

void Operation::SampleWire() {
    // The port counts from its opening; the largest count seen is this operation's. What
    // left the host, not what was queued: a board that went mid-stream got only part.
    wireBytes_ = std::max(wireBytes_, board_.Port().BytesLeftHost());
}

void Operation::End(Outcome outcome, const std::string& text, bool shownAsMessage) {
    if (outcome_ == Outcome::Running) SampleWire();
    outcome_ = outcome;
    sending_ = false;
    SharedState& shared = board_.Shared();
    if (request_.kind == OperationKind::Dump && outcome != Outcome::Completed &&
        outcome != Outcome::BadInput) {
        // The worker closes the file after its last write; wait for that, then say what
        // is kept.
        shared.dumpCancel = true;
        board_.Post(WM_SESSION_STOP);
        if (!shared.dumpFile.WaitClosed(kDumpCloseWait)) shared.dumpFile.Close();
        const std::string kept = shared.dumpFile.KeptPath();
        if (!kept.empty())
            view_.OnInfo("The partial dump is kept: " + kept + " (" +
                         Plural(shared.dumpFile.Bytes()) + ")");
        else
            view_.OnInfo("No byte of the dump arrived; no file was kept.");
    }
    if (workDir_) CleanUpWorkFiles(workDir_->Paths(), dataPrepared_);
    workDir_.reset();
    dataPrepared_ = false;
    view_.OnEnded(outcome, text, shownAsMessage);
}

void Operation::Report(const std::string& caption, const std::string& text, Outcome outcome) {
    board_.Prompt().Show({text, caption, PromptIcon::Warning});
    End(outcome, text, true);
}

}  // namespace pelorin
