// The simulated board on a thread of its own, on a pseudo-terminal. It stops when a byte
// arrives on its stop pipe, which its loop watches as it would a signal.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "app/simulated_board.h"
#include "config/work_dir.h"
#include "sim/flash_file.h"
#include "sim/flash_lock.h"
#include "sim/pty_link.h"
#include "sim/sim_board.h"
#include "sim/sim_options.h"

namespace pelorin::app {
namespace {

class PtySimulatedBoard final : public SimulatedBoard {
  public:
    ~PtySimulatedBoard() override {
        if (thread_.joinable()) {
            const char stop = 1;
            (void)::write(stopPipe_[1], &stop, 1);
            thread_.join();
        }
        for (int fd : stopPipe_)
            if (fd >= 0) ::close(fd);
    }

    bool Start(const SimulatedBoardOptions& options, std::string& error) {
        options_.flashPath = options.flashPath;
        options_.paceFactor = options.paceFactor;
        options_.crystalKhz = options.crystalKhz;
        sim::TargetConfig config;
        config.crystalKhz = options.crystalKhz;
        // Held while the board runs: a second board on this flash would save stale data.
        flashLock_ = sim::FlashLock::Take(options_.flashPath, error);
        if (!flashLock_) return false;
        if (!sim::LoadFlash(options_.flashPath, std::nullopt, sim::kDefaultFlashBytes, 0xFF,
                            config.flash, error))
            return false;
        if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
            error = "cannot make the simulated board's stop pipe";
            return false;
        }
        if (!pty_.Open("", error)) return false;
        board_ = std::make_unique<sim::SimBoard>(options_, std::move(config), pty_, Log);
        thread_ = std::thread([this] { board_->Run(stopPipe_[0]); });
        return true;
    }

    const std::string& DevicePath() const override { return pty_.SlavePath(); }
    std::string Description() const override {
        char crystal[32];
        std::snprintf(crystal, sizeof crystal, "%g MHz", options_.crystalKhz / 1000.0);
        return "Simulated board, " + std::string(crystal) + " crystal";
    }

  private:
    static void Log(const std::string& line) {
        std::fprintf(stderr, "simulated board: %s\n", line.c_str());
    }

    sim::SimOptions options_;
    std::optional<sim::FlashLock> flashLock_;
    sim::PtyLink pty_;
    std::unique_ptr<sim::SimBoard> board_;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<SimulatedBoard> StartSimulatedBoard(const SimulatedBoardOptions& options,
                                                    std::string& error) {
    auto board = std::make_unique<PtySimulatedBoard>();
    if (!board->Start(options, error)) return nullptr;
    return board;
}

std::string DefaultSimulatedFlashPath() {
    const UserDirResult dir = PrivateUserDir(std::getenv("TMPDIR"));
    if (!dir.error.empty()) return "pelorin-simulated-flash.bin";
    return (dir.path / "pelorin-simulated-flash.bin").string();
}

}  // namespace pelorin::app
