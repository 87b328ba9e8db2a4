// pelorin-sim: a simulated set-top-box board behind a pseudo-terminal, for trying the loader
// without hardware, for end-to-end tests and for benchmarks.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/version.h"
#include "session/target_images.h"
#include "sim/flash_file.h"
#include "sim/flash_lock.h"
#include "sim/pty_link.h"
#include "sim/sim_board.h"
#include "sim/sim_options.h"

namespace {

using pelorin::sim::SimOptions;

int Fail(const std::string& message) {
    std::fprintf(stderr, "pelorin-sim: %s\n", message.c_str());
    return 2;
}

std::string CrystalText(unsigned khz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g MHz", khz / 1000.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!pelorin::sim::ParseSimOptions(argc, argv, options, error)) return Fail(error);
    if (options.help) {
        std::fputs(pelorin::sim::SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("pelorin-sim %s\n", pelorin::GetVersionText().c_str());
        return 0;
    }

    pelorin::sim::TargetConfig config;
    config.crystalKhz = options.crystalKhz;
    config.faults = options.faults;
    config.eraseUsPerKiB = options.eraseUsPerKiB;
    config.writeUsPerKiB = options.writeUsPerKiB;
    config.copyUsPerKiB = options.copyUsPerKiB;
    std::string imagesDir = options.imagesDir;
    if (imagesDir.empty())
        if (const char* env = std::getenv(pelorin::kImagesDirEnv)) imagesDir = env;
    if (!imagesDir.empty() && !config.images.LoadOverrides(imagesDir, error)) return Fail(error);
    // Held until the program ends: a second board on this flash would save stale data.
    const auto flashLock = pelorin::sim::FlashLock::Take(options.flashPath, error);
    if (!flashLock) return Fail(error);
    if (!pelorin::sim::LoadFlash(options.flashPath, options.flashSize,
                                 pelorin::sim::kDefaultFlashBytes, options.fill, config.flash,
                                 error))
        return Fail(error);
    if (const auto at = options.faults.corruptFlashByte; at && *at >= config.flash.size())
        return Fail("--corrupt-flash-byte " + std::to_string(*at) + " lies beyond the " +
                    std::to_string(config.flash.size()) + "-byte flash");

    // Signals arrive through a descriptor the loop polls: no handler, no shared flag.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) return Fail("signalfd failed");

    pelorin::sim::PtyLink pty;
    if (!pty.Open(options.link, error)) return Fail(error);

    const auto start = std::chrono::steady_clock::now();
    auto log = [start](const std::string& line) {
        const std::chrono::duration<double> t = std::chrono::steady_clock::now() - start;
        std::printf("[%9.3f] %s\n", t.count(), line.c_str());
        std::fflush(stdout);
    };
    const unsigned bootBaud = pelorin::sim::BootRomBaud(options.crystalKhz);
    char pace[48];
    if (options.paceFactor == 0)
        std::snprintf(pace, sizeof pace, "unpaced");
    else
        std::snprintf(pace, sizeof pace, "paced at %g times real time", options.paceFactor);
    log("board on " + pty.SlavePath() +
        (options.link.empty() ? "" : " (link " + options.link + ")"));
    log("crystal " + CrystalText(options.crystalKhz) + ": boot ROM at " + std::to_string(bootBaud) +
        " baud, loader at 115200; line " + std::string(pace));
    log("flash " + options.flashPath + ", " + std::to_string(config.flash.size()) + " bytes" +
        (imagesDir.empty() ? "" : "; images from " + imagesDir));

    pelorin::sim::SimBoard board(options, std::move(config), pty, log);
    const int status = board.Run(signalFd);
    pty.Close();
    ::close(signalFd);
    log("stopped");
    return status;
}
