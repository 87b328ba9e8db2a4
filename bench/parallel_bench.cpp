// The production line's scaling: pelorin-cli loading a 2 MiB firmware-like image into 1, 2, 4
// and 8 simulated boards at once, each pelorin-sim paced at 115200 baud times a factor
// (default 8, so a run stays short). Prints the aggregate rate against N times one board's,
// and the host's CPU time and peak memory per board. Asserts nothing about time.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "../tests/e2e/child_process.h"
#include "sim/firmware_image.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct RunFigures {
    int exitCode = -1;
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
};

// Runs the command line with its output discarded; wait4 gives its own CPU time and peak.
RunFigures RunCli(const std::vector<std::string>& args) {
    RunFigures f;
    std::fflush(stdout);  // the child must not write our buffered lines again
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::freopen("/dev/null", "w", stdout);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    f.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    f.peakMiB = double(usage.ru_maxrss) / 1024.0;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string factor = argc > 1 ? argv[1] : "8";
    std::string templ = (fs::temp_directory_path() / "pelorin-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    const fs::path dir = templ;
    const auto image = pelorin::sim::MakeFirmwareImage(2u << 20, (2u << 20) * 5 / 8);
    const fs::path imagePath = dir / "image.bin";
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    std::printf("boards paced at 115200 baud x %s, each loading section All (2 MiB image)\n",
                factor.c_str());
    std::printf("%2s %9s %12s %8s %10s %15s %10s %16s\n", "N", "seconds", "bytes/s", "scaling",
                "host CPU", "CPU/added board", "host peak", "peak/added board");
    double oneBoardRate = 0;
    double onePeak = 0;
    double oneCpu = 0;
    for (int n : {1, 2, 4, 8}) {
        std::vector<std::unique_ptr<pelorin::testing::ChildProcess>> sims;
        std::string ports;
        for (int i = 0; i < n; ++i) {
            const fs::path link = dir / ("board" + std::to_string(i));
            // The board's log goes to a file: a pipe nobody reads would stall it.
            const std::string command =
                std::string("exec '") + PELORIN_SIM_PATH + "' --link '" + link.string() +
                "' --flash '" + (dir / ("flash" + std::to_string(i))).string() + "' --pace " +
                factor + " > '" + (dir / ("sim" + std::to_string(i) + ".log")).string() + "' 2>&1";
            sims.push_back(std::make_unique<pelorin::testing::ChildProcess>());
            if (!sims.back()->Start({"/bin/sh", "-c", command})) return 1;
            for (int t = 0; t < 500 && !fs::exists(link); ++t)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ports += (i ? "," : "") + link.string();
        }
        const RunFigures f = RunCli({PELORIN_CLI_PATH, "download", imagePath.string(), "--section",
                                     "All", "--port", ports, "--quiet"});
        for (auto& sim : sims) {
            sim->Signal(SIGTERM);
            sim->Wait(std::chrono::seconds(10));
        }
        if (f.exitCode != 0) {
            std::fprintf(stderr, "N=%d: pelorin-cli exited %d; logs in %s\n", n, f.exitCode,
                         dir.c_str());
            return 1;
        }
        const double rate = double(image.size()) * n / f.seconds;
        if (n == 1) oneBoardRate = rate, onePeak = f.peakMiB, oneCpu = f.cpuSeconds;
        if (n == 1) {
            std::printf("%2d %9.2f %12.0f %8.3f %8.3f s %15s %6.1f MiB %16s\n", n, f.seconds, rate,
                        1.0, f.cpuSeconds, "-", f.peakMiB, "-");
            continue;
        }
        std::printf("%2d %9.2f %12.0f %8.3f %8.3f s %13.3f s %6.1f MiB %12.2f MiB\n", n, f.seconds,
                    rate, rate / (n * oneBoardRate), f.cpuSeconds,
                    (f.cpuSeconds - oneCpu) / (n - 1), f.peakMiB, (f.peakMiB - onePeak) / (n - 1));
    }
    std::printf(
        "bytes/s: image bytes loaded per wall second, loaders and erase included; scaling:\n"
        "that over N x one board's (goal >= 0.95 at N=8); host CPU and peak are the whole\n"
        "pelorin-cli process, the data file prepared once; 'added board' is the growth\n"
        "per board beyond the first\n");
    fs::remove_all(dir);
    return 0;
}
