// The production line from the command line.
#include "cli/line_runner.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/line_view.h"
#include "cli/operation_runner.h"
#include "cli/port_arg.h"
#include "cli/station.h"
#include "config/image_check.h"
#include "config/sha256.h"
#include "config/work_dir.h"

namespace pelorin::cli {
namespace {

constexpr auto kLoopWait = std::chrono::milliseconds(100);
constexpr const char* kSnapshotName = "download.bin";  // the download file as it was read

// The private folder the shared data file and the verify dumps live in, for the whole run.
std::optional<WorkDir> OpenLineDir(std::string& error) {
    UserDirResult userDir = PrivateUserDir(std::getenv("TMPDIR"));
    if (!userDir.error.empty()) {
        error = userDir.error;
        return std::nullopt;
    }
    auto dir = WorkDir::Open(userDir.path, &error);
    if (dir && !ResetWorkTree(dir->Paths())) {
        error = "Can't create the working directory " + dir->Paths().innerDir.string();
        return std::nullopt;
    }
    return dir;
}

// The download file read once into the private folder, hashed on the way: every board is
// sent, logged and compared against these bytes, whatever happens to the file meanwhile.
std::string Snapshot(const std::string& file, const std::filesystem::path& copy,
                     std::string& sha256) {
    namespace fs = std::filesystem;
    if (std::string error = CheckRegularFile(file); !error.empty()) return error;
    std::error_code ec;
    const auto written = fs::last_write_time(file, ec);
    std::ifstream in(file, std::ios::binary);
    std::ofstream out(copy, std::ios::binary | std::ios::trunc);
    if (!in) return "Can't open " + file + ": " + std::generic_category().message(errno);
    if (!out) return "Can't write " + copy.string();
    Sha256 sha;
    std::vector<char> chunk(64 * 1024);
    while (in) {
        in.read(chunk.data(), std::streamsize(chunk.size()));
        const auto got = size_t(in.gcount());
        sha.Update(std::span(reinterpret_cast<const uint8_t*>(chunk.data()), got));
        out.write(chunk.data(), std::streamsize(got));
    }
    if (in.bad()) return "Can't read " + file;
    out.close();
    if (!out) return "Can't write " + copy.string();
    // The prepared member stores the file's time, as it would from the file itself.
    if (!ec) fs::last_write_time(copy, written, ec);
    sha256 = HexDigest(sha.Final());
    return {};
}

}  // namespace

void CleanUpOnce(std::optional<WorkDir>& dir) {
    if (!dir) return;
    std::error_code ec;
    std::filesystem::remove(dir->Paths().innerDir / kSnapshotName, ec);
    CleanUpWorkFiles(dir->Paths(), true);
    dir.reset();
}

std::string PrepareOnce(const std::string& file, OperationRequest& request,
                        std::optional<WorkDir>& dir, std::string& sha256, WrittenData* written) {
    std::string error;
    if (!dir) dir = OpenLineDir(error);
    if (!dir) return error.empty() ? "Can't create the working directory" : error;
    const std::filesystem::path copy = dir->Paths().innerDir / kSnapshotName;
    if (error = Snapshot(file, copy, sha256); !error.empty()) return error;
    request.file = copy.string();
    bool whole = false;
    if (error = PrepareSharedData(request, dir->Paths(), whole); !error.empty()) {
        // Said of the operator's file, not of its copy.
        for (size_t at; (at = error.find(copy.string())) != std::string::npos;)
            error.replace(at, copy.string().size(), file);
        return error;
    }
    const SegmentEntry& section = *request.section;
    if (written) *written = {copy, whole, section.startAddr, section.segSize};
    return {};
}

namespace {

// Everything before the first board: error text, empty when the line can start.
std::string SetUp(const CliOptions& options, LineSetup& setup, std::optional<WorkDir>& dir) {
    if (std::string error = CheckPortMapText(std::getenv(kPortMapVariable)); !error.empty())
        return error;
    if (std::string error = BuildRequest(options, setup.request); !error.empty()) return error;
    std::string error;
    dir = OpenLineDir(error);
    if (!dir) return error.empty() ? "Can't create the working directory" : error;
    setup.workDir = dir->Paths().innerDir;
    if (setup.request.kind != OperationKind::Download) return {};
    return PrepareOnce(options.file, setup.request, dir, setup.sha256, &setup.written);
}

// Two names of one device would make two boards fight over one port.
std::string CheckDistinct(const std::vector<std::unique_ptr<Station>>& stations,
                          const std::vector<std::string>& ports) {
    for (size_t i = 0; i < stations.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (stations[i]->Device() == stations[j]->Device())
                return "ports " + ports[j] + " and " + ports[i] + " are the same device";
    return {};
}

bool AllDone(const std::vector<std::unique_ptr<Station>>& stations) {
    for (const auto& s : stations)
        if (!s->Done()) return false;
    return true;
}

}  // namespace

bool WantsLine(const CliOptions& options) {
    return options.ports.size() > 1 || options.repeat || options.verify;
}

std::optional<BoardLog> OpenLog(const CliOptions& options, std::string& error) {
    // The download file must not get rows appended to it.
    auto log =
        BoardLog::Open(options.logFile,
                       options.command == Command::Download ? options.file : std::string(), error);
    // A device such as /dev/null is refused like any file that is not regular, before any
    // board: its rows could not be kept, flushed or locked. Who names one wants no log.
    std::error_code ec;
    if (!log && std::filesystem::is_character_file(options.logFile, ec))
        error += "; leave out --log to keep no log";
    return log;
}

int RunLine(const CliOptions& options, ViewStyle style, std::FILE* out, std::FILE* err) {
    const auto started = std::chrono::steady_clock::now();
    LineScreen screen(style, out, err, options.ports, options.repeat);
    TargetImages images;
    LineSetup setup;
    setup.options = &options;
    setup.images = &images;
    std::optional<WorkDir> dir;
    std::optional<BoardLog> log;
    std::string error = LoadImages(options, images);
    if (error.empty() && !options.logFile.empty()) {
        log = OpenLog(options, error);
        setup.log = log ? &*log : nullptr;
    }
    if (error.empty()) error = SetUp(options, setup, dir);
    if (!error.empty()) {
        CleanUpOnce(dir);
        screen.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    MessageQueue wake;
    std::optional<int> worst;
    LineTotals totals;
    {
        CancelKeys cancelKeys;
        bool cancelled = false;  // once the operator ended the line, nothing waits for a lock
        setup.stopWaiting = [&] { return cancelled || cancelKeys.Pending(); };
        std::vector<std::unique_ptr<Station>> stations;
        for (size_t i = 0; i < options.ports.size() && error.empty(); ++i) {
            stations.push_back(std::make_unique<Station>(setup, i, options.ports[i], wake, screen));
            error = stations.back()->Resolve();
        }
        if (error.empty()) error = CheckDistinct(stations, options.ports);
        if (!error.empty()) {
            stations.clear();
            CleanUpOnce(dir);
            screen.EarlyFailure(kExitBadInput, error);
            return kExitBadInput;
        }
        for (auto& station : stations) station->Begin(std::chrono::steady_clock::now());
        while (!AllDone(stations)) {
            Message m;
            wake.GetFor(m, kLoopWait);
            const bool cancel = cancelKeys.Pressed();
            cancelled = cancelled || cancel;
            if (TerminalResized()) screen.Resized();
            for (auto& station : stations) {
                if (cancel) station->Cancel();
                if (!setup.logError.empty()) station->StopWhenIdle();
                station->Pump(std::chrono::steady_clock::now());
            }
        }
        for (const auto& station : stations) {
            if (auto w = station->Worst()) worst = worst ? MostSevere(*worst, *w) : *w;
            totals.passed += station->Counts().passed;
            totals.failed += station->Counts().failed;
            totals.cancelled += station->Counts().cancelled;
        }
    }  // every worker has ended here
    CleanUpOnce(dir);
    // No board at all: the operator ended the line before one came.
    int code = worst.value_or(kExitCancelled);
    if (!setup.logError.empty()) code = MostSevere(code, kExitLogFailed);
    totals.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    screen.Summary(code, totals);
    return code;
}

}  // namespace pelorin::cli
