// The production line's repeat: how soon the host answers the boot ROM prompt of the next
// board on a port it keeps waiting on. pelorin-sim (unpaced, --log-received) returns to its
// boot ROM after every board and logs each prompt and the first bytes that answer it with
// the monotonic clock. Prints the figures; asserts nothing about time.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "../tests/e2e/child_process.h"
#include "sim/firmware_image.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int main() {
    constexpr int kBoards = 8;
    std::string templ = (fs::temp_directory_path() / "pelorin-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    const fs::path dir = templ;
    const fs::path link = dir / "board";
    const auto image = pelorin::sim::MakeFirmwareImage(0x8000, 0x6000);
    const fs::path imagePath = dir / "logo.bin";
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    pelorin::testing::ChildProcess sim;
    if (!sim.Start({PELORIN_SIM_PATH, "--link", link.string(), "--flash",
                    (dir / "flash.bin").string(), "--pace", "unpaced", "--log-received"}))
        return 1;
    for (int t = 0; t < 500 && !fs::exists(link); ++t) std::this_thread::sleep_for(10ms);
    pelorin::testing::ChildProcess cli;
    if (!cli.Start({PELORIN_CLI_PATH, "download", imagePath.string(), "--section", "Logo", "--port",
                    link.string(), "--repeat", "--json", "--tick-ms", "50"}))
        return 1;
    const bool done = cli.WaitForOutput("\"passed\":" + std::to_string(kBoards), 120s);
    cli.Signal(SIGINT);
    cli.Wait(30s);
    sim.Signal(SIGTERM);
    sim.Wait(10s);
    if (!done) {
        std::fprintf(stderr, "the boards did not all pass:\n%s\n", cli.Err().c_str());
        return 1;
    }
    // The last prompt before each answer, and the answer.
    std::vector<double> latencies;
    double lastPrompt = -1;
    const std::string& log = sim.Out();
    for (size_t at = log.find(" at "); at != std::string::npos; at = log.find(" at ", at + 1)) {
        const size_t lineStart = log.rfind('\n', at) + 1;
        const std::string what = log.substr(log.find("] ", lineStart) + 2, 6);
        const double ns = std::stod(log.substr(at + 4));
        if (what == "prompt") lastPrompt = ns;
        if (what == "answer" && lastPrompt >= 0) {
            latencies.push_back((ns - lastPrompt) / 1e6);
            lastPrompt = -1;
        }
    }
    if (latencies.size() < 2) return 1;
    // The first board met a host that had just started; the rest met a waiting port.
    std::vector<double> waiting(latencies.begin() + 1, latencies.end());
    std::sort(waiting.begin(), waiting.end());
    std::printf(
        "boot ROM prompt to the host's first answering byte, %zu boards after the first"
        " on one waiting port:\n  min %.2f ms  median %.2f ms  max %.2f ms"
        "  (first board: %.2f ms)\n",
        waiting.size(), waiting.front(), waiting[waiting.size() / 2], waiting.back(),
        latencies.front());
    fs::remove_all(dir);
    return 0;
}
