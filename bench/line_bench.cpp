// How busy the host keeps the line: a Download of a 2 MiB firmware-like image and a Dump of a
// 1 MiB section through pelorin-sim paced at the line rate times a factor, each set against
// the lower bound the line allows. Prints its figures; asserts nothing about time.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "../tests/e2e/child_process.h"
#include "config/data_prep.h"
#include "config/work_dir.h"
#include "serial/comm.h"
#include "serial/port_names.h"
#include "session/disposal_thread.h"
#include "session/messages.h"
#include "sim/firmware_image.h"

using namespace pelorin;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr double kLineBytesPerSecond = 115200.0 / 10;  // 8N1

// Records when each stage and the end arrived.
class TimingSink final : public ISessionSink {
  public:
    void Post(uint32_t id, uint64_t kind, int64_t value) override {
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        if (id == WM_SESSION_UPDATE && kind == kUpdateStage) stageAt_[uint8_t(value)] = now;
        if (id == WM_SESSION_SEND_BEGIN) sendBeginAt_ = now;
        if (id == WM_SESSION_FINISHED) {
            finishedAt_ = now;
            finished_.notify_all();
        }
    }
    void Beep() override {}
    bool WaitFinished(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return finished_.wait_for(lock, limit,
                                  [this] { return finishedAt_ != Clock::time_point{}; });
    }
    Clock::time_point Stage(char letter) {
        std::lock_guard lock(mutex_);
        return stageAt_[uint8_t(letter)];
    }
    Clock::time_point Finished() {
        std::lock_guard lock(mutex_);
        return finishedAt_;
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        stageAt_ = {};
        finishedAt_ = {};
    }

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
    std::array<Clock::time_point, 256> stageAt_{};
    Clock::time_point sendBeginAt_{};
    Clock::time_point finishedAt_{};
};

class PrintPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& r) override {
        std::fprintf(stderr, "%s: %s\n", r.caption.c_str(), r.text.c_str());
        return PromptAnswer::Ok;
    }
};

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

void Report(const char* what, double bytes, double factor, double flashSeconds, double measured) {
    const double bound = bytes / (kLineBytesPerSecond * factor) + flashSeconds;
    std::printf("%-28s %10.0f bytes  bound %7.3f s  measured %7.3f s  ratio %.4f\n", what, bytes,
                bound, measured, measured / bound);
}

}  // namespace

int main(int argc, char** argv) {
    const double factor = argc > 1 ? std::atof(argv[1]) : 8.0;
    const char* simPath = argc > 2 ? argv[2] : PELORIN_SIM_PATH;
    std::string templ = (fs::temp_directory_path() / "pelorin-bench-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return 1;
    const fs::path dir = templ;
    const fs::path link = dir / "board";

    testing::ChildProcess sim;
    const std::string pace = std::to_string(factor);
    // The board's log goes to a file: a pipe nobody reads would stall it.
    const std::string command = std::string("exec '") + simPath + "' --link '" + link.string() +
                                "' --flash '" + (dir / "flash.bin").string() + "' --pace " + pace +
                                " > '" + (dir / "sim.log").string() + "' 2>&1";
    if (!sim.Start({"/bin/sh", "-c", command})) return 1;
    for (int i = 0; i < 500 && !fs::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // The host: the worker with a real port, as the window and the command line run it.
    SharedState shared;
    TimingSink sink;
    PrintPrompt prompt;
    TargetImages images;
    CDisposalThread worker(std::make_unique<cnComm>(shared.portNames), shared, sink, prompt,
                           images);
    worker.Start();
    const unsigned port = shared.portNames.NumberFor(link.string());

    auto userDir = PrivateUserDir(std::getenv("TMPDIR"));
    std::string error;
    auto work = WorkDir::Open(userDir.path, &error);
    if (!work || !ResetWorkTree(work->Paths())) return 1;

    const uint32_t kFlashBytes = 2u << 20;
    const auto image = sim::MakeFirmwareImage(kFlashBytes, kFlashBytes * 5 / 8);
    const fs::path imagePath = dir / "image.bin";
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    PreparedData data = PrepareDataFile(work->Paths(), {imagePath, false, 0, kFlashBytes});
    if (!data.ok) return 1;
    shared.SetDataFilePath(data.dataFilePath.string());

    auto run = [&](uint8_t mode, uint32_t start, uint32_t size) {
        SessionHeader h;
        h.mode = mode;
        h.crystalKhz = 27000;
        h.startAddress = start;
        h.sectionSize = size;
        shared.SetSessionHeader(h);
        sink.Reset();
        shared.SetOpenResult(kOpenPending);
        worker.Queue().Post(WM_SESSION_OPEN_PORT, 27000, port);
        if (shared.WaitOpenResult(std::chrono::seconds(10)) == kOpenFailed) return false;
        shared.awaitBootRom = true;
        return sink.WaitFinished(std::chrono::seconds(120));
    };

    std::printf("line 115200 baud x %.1f = %.0f bytes/s\n", factor, kLineBytesPerSecond * factor);
    if (!run(0, 0, kFlashBytes)) {
        std::fprintf(stderr, "the download did not finish; board log in %s\n", dir.c_str());
        return 1;
    }
    const double streamBytes = double(data.preparedBytes);
    Report("download: data stream", streamBytes, factor, 0,
           Seconds(sink.Stage('K'), sink.Stage('H')));
    Report("download: whole", streamBytes + 16212 + 2048 + 1, factor, 0,
           Seconds(sink.Stage('U'), sink.Finished()));

    const fs::path dumpPath = dir / "dump.bin";
    shared.dumpFile.Create(dumpPath.string());
    if (!run(2, 1u << 20, 1u << 20)) {
        std::fprintf(stderr, "the dump did not finish; board log in %s\n", dir.c_str());
        return 1;
    }
    Report("dump: data", double(1u << 20), factor, 0, Seconds(sink.Stage('G'), sink.Finished()));
    std::ifstream in(dumpPath, std::ios::binary);
    std::vector<uint8_t> dumped((std::istreambuf_iterator<char>(in)), {});
    const bool same = dumped == std::vector<uint8_t>(image.begin() + (1 << 20), image.end());
    std::printf("dump equals the image's second MiB: %s\n", same ? "yes" : "NO (bytes lost)");

    worker.Quit();
    CleanUpWorkFiles(work->Paths(), true);
    sim.Signal(SIGTERM);
    sim.Wait(std::chrono::seconds(10));
    fs::remove_all(dir);
    return same ? 0 : 1;
}
