// The production line from the command line.
#include "cli/line_runner.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/line_view.h"
#include "cli/operation_runner.h"
#include "cli/port_arg.h"
#include "cli/station.h"
#include "config/work_dir.h"

namespace pelorin::cli {
namespace {

constexpr auto kLoopWait = std::chrono::milliseconds(100);

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
    bool whole = false;
    if (error = PrepareSharedData(setup.request, dir->Paths(), whole); !error.empty()) return error;
    const SegmentEntry& section = *setup.request.section;
    setup.written = {setup.request.file, whole, section.startAddr, section.segSize};
    return {};
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

int RunLine(const CliOptions& options, ViewStyle style, std::FILE* out, std::FILE* err) {
    LineScreen screen(style, out, err, options.ports, options.repeat);
    TargetImages images;
    LineSetup setup;
    setup.options = &options;
    setup.images = &images;
    std::optional<WorkDir> dir;
    std::string error = LoadImages(options, images);
    if (error.empty()) error = SetUp(options, setup, dir);
    if (!error.empty()) {
        screen.EarlyFailure(kExitBadInput, error);
        return kExitBadInput;
    }
    MessageQueue wake;
    std::optional<int> worst;
    {
        CancelKeys cancelKeys;
        std::vector<std::unique_ptr<Station>> stations;
        for (size_t i = 0; i < options.ports.size() && error.empty(); ++i) {
            stations.push_back(std::make_unique<Station>(setup, i, options.ports[i], wake, screen));
            error = stations.back()->Resolve();
        }
        if (error.empty()) error = CheckDistinct(stations, options.ports);
        if (!error.empty()) {
            screen.EarlyFailure(kExitBadInput, error);
            return kExitBadInput;
        }
        for (auto& station : stations) station->Begin(std::chrono::steady_clock::now());
        while (!AllDone(stations)) {
            Message m;
            wake.GetFor(m, kLoopWait);
            const bool cancel = cancelKeys.Pressed();
            for (auto& station : stations) {
                if (cancel) station->Cancel();
                station->Pump(std::chrono::steady_clock::now());
            }
        }
        for (const auto& station : stations)
            if (auto w = station->Worst()) worst = worst ? MostSevere(*worst, *w) : *w;
    }  // every worker has ended here
    if (dir) CleanUpWorkFiles(dir->Paths(), true);
    // No board at all: the operator ended the line before one came.
    const int code = worst.value_or(kExitCancelled);
    screen.Summary(code);
    return code;
}

}  // namespace pelorin::cli
