// How long a run takes to end after its board goes away: pelorin-sim is killed in the middle
// of a Download's data stream and of a Dump, and the time until pelorin-cli exits is printed.
// Asserts nothing about time.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "../tests/e2e/child_process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using pelorin::testing::ChildProcess;

namespace {

constexpr int kRuns = 5;

// One run: milliseconds from the kill to the exit, or -1 when the run went wrong.
double OneRun(const fs::path& dir, const std::vector<std::string>& operation, const char* killAt,
              int& status) {
    const fs::path link = dir / "board";
    ChildProcess sim;
    if (!sim.Start({PELORIN_SIM_PATH, "--link", link.string(), "--flash",
                    (dir / "flash.bin").string(), "--pace", "1"}))
        return -1;
    for (int i = 0; i < 500 && !fs::exists(link); ++i) std::this_thread::sleep_for(10ms);
    std::vector<std::string> argv = {PELORIN_CLI_PATH};
    argv.insert(argv.end(), operation.begin(), operation.end());
    argv.insert(argv.end(), {"--port", link.string(), "--json"});
    ChildProcess cli;
    if (!cli.Start(argv) || !cli.WaitForOutput(killAt, 60s)) return -1;
    std::this_thread::sleep_for(300ms);  // well inside the stage
    const auto killed = Clock::now();
    sim.Signal(SIGKILL);
    status = cli.Wait(120s);
    const auto ended = Clock::now();
    sim.Wait(5s);
    std::error_code ec;
    fs::remove(link, ec);
    return std::chrono::duration<double, std::milli>(ended - killed).count();
}

void Measure(const fs::path& dir, const char* name, const std::vector<std::string>& operation,
             const char* killAt) {
    std::vector<double> ms;
    int status = -1;
    for (int i = 0; i < kRuns; ++i) {
        const double t = OneRun(dir, operation, killAt, status);
        if (t >= 0) ms.push_back(t);
    }
    if (ms.empty()) {
        std::printf("%-28s no run reached the stage\n", name);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "%-28s exit status %d   min %7.1f ms   median %7.1f ms   max %7.1f ms   (%zu runs)\n", name,
        status, ms.front(), ms[ms.size() / 2], ms.back(), ms.size());
}

}  // namespace

int main() {
    std::string templ = (fs::temp_directory_path() / "pelorin-bench-vanish-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    const fs::path dir = templ;
    {
        std::ofstream image(dir / "image.bin", std::ios::binary);
        // Bytes that do not compress: the stream lasts its full line time.
        uint32_t x = 2463534242u;
        for (int i = 0; i < 32768; ++i) image.put(char((x ^= x << 13, x ^= x >> 17, x ^= x << 5)));
    }
    std::printf("Time from the board going away to pelorin-cli's exit (line at 115200 baud):\n");
    Measure(dir, "download, data stream ('K')",
            {"download", (dir / "image.bin").string(), "--section", "Logo"}, "\"letter\":\"K\"");
    Measure(dir, "dump, receiving ('G')",
            {"dump", (dir / "dump.bin").string(), "--section", "Logo"}, "\"letter\":\"G\"");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
