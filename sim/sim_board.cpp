// Main loop of the simulated board.
#include "sim/sim_board.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <thread>

#include "sim/flash_file.h"

namespace pelorin::sim {
namespace {

using namespace std::chrono_literals;

// A close and reopen of the host's port this quick, while the boot loader starts, is the host
// switching to the loader's speed, not a new operation.
constexpr auto kSpeedSwitchGrace = 1000ms;
// How long the boot loader's first words wait for the host to reach the loader's speed before
// they leave anyway (and arrive as garbage).
constexpr auto kSpeedWait = 1000ms;
// After the last byte of an operation: time for the host to take it and close its port.
constexpr auto kFinishSettle = 2000ms;
constexpr auto kIdlePoll = 20ms;
constexpr size_t kReadBytes = 4096;

}  // namespace

SimBoard::SimBoard(const SimOptions& options, TargetConfig config, PtyLink& pty, Log log)
    : options_(options),
      pty_(pty),
      model_(std::move(config)),
      log_(std::move(log)),
      toHost_(options.paceFactor),
      fromHost_(options.paceFactor) {
    model_.SetLog([this](const std::string& line) { log_(line); });
}

uint8_t SimBoard::Garbage() {
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    return static_cast<uint8_t>(1 + (noise_ >> 8) % 255);
}

void SimBoard::EndOperation(const std::string& why) {
    if (options_.logReceived) {
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch());
        log_("received " + std::to_string(receivedBytes_) + " at " + std::to_string(ns.count()));
    }
    log_("operation ended: " + why + "; power on again");
    std::string error;
    if (SaveFlash(options_.flashPath, model_.Flash(), error))
        log_("flash saved to " + options_.flashPath);
    else
        log_("flash: " + error);
    model_.Reset();
    current_.reset();
    speedWaitUntil_.reset();
    finishedSeen_ = false;
    garbleLogged_ = false;
    operationBytes_ = 0;
    if (options_.once) exitRequested_ = true;
    if (options_.reenumerateMs && !exitRequested_) {
        log_("the port goes away for " + std::to_string(options_.reenumerateMs) + " ms");
        pty_.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.reenumerateMs));
        if (!pty_.Open(options_.link, error)) {
            log_("the port did not come back: " + error);
            exitRequested_ = true;
            return;
        }
        log_("the port is back on " + pty_.SlavePath());
        hostPresent_ = false;
    }
}

void SimBoard::WatchHost(Clock::time_point now) {
    const bool present = pty_.HostPresent();
    if (present != hostPresent_) {
        hostPresent_ = present;
        log_(present ? "host opened the port" : "host closed the port");
        if (!present) {
            hangupSince_ = now;
            // The pseudo-terminal holds what the host wrote faster than the line carries it;
            // on a real port that queue dies with the close.
            const size_t dropped = pty_.DiscardInput();
            if (dropped) log_("dropped " + std::to_string(dropped) + " bytes the host had queued");
        }
        hostBaud_ = 0;
    }
    if (present) {
        const unsigned baud = pty_.HostBaud();
        if (baud != hostBaud_) {
            log_("host line at " + std::to_string(baud) + " baud");
            hostBaud_ = baud;
            garbleLogged_ = false;
        }
        return;
    }
    if (!Busy()) return;
    if (model_.Finished()) {
        EndOperation("done");
    } else if (!InSpeedSwitch() || now - hangupSince_ > kSpeedSwitchGrace) {
        EndOperation(model_.Silent() ? "host gave up on the silent board" : "host closed the port");
    }
}

void SimBoard::ReadHost(Clock::time_point now) {
    if (!hostPresent_) return;
    uint8_t buffer[kReadBytes];
    size_t allowed = VanishBudget(fromHost_.Allowance(now, hostBaud_, sizeof buffer));
    if (options_.freezeAfter) {
        if (operationBytes_ >= options_.freezeAfter) {
            if (!frozenLogged_) log_("frozen after " + std::to_string(operationBytes_) + " bytes");
            frozenLogged_ = true;
            return;
        }
        allowed = static_cast<size_t>(
            std::min<uint64_t>(allowed, options_.freezeAfter - operationBytes_));
    }
    if (allowed == 0) return;
    const ssize_t n = pty_.Read(buffer, allowed);
    if (n <= 0) return;
    const auto count = static_cast<size_t>(n);
    fromHost_.Moved(now, hostBaud_, count);
    // The first bytes after the prompts: how quickly the host answered a board that came.
    if (model_.AwaitingAnswer()) LogInstant("answer", now);
    model_.Receive(buffer, count, hostBaud_);
    if (Busy()) operationBytes_ += count;
    LogReceived(now, count);
}

void SimBoard::LogInstant(const char* what, Clock::time_point now) {
    if (!options_.logReceived) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch());
    log_(std::string(what) + " at " + std::to_string(ns.count()));
}

void SimBoard::LogReceived(Clock::time_point now, size_t count) {
    constexpr uint64_t kLogStep = 8192;
    if (!options_.logReceived) return;
    const uint64_t before = receivedBytes_;
    receivedBytes_ += count;
    if (before / kLogStep == receivedBytes_ / kLogStep) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch());
    log_("received " + std::to_string(receivedBytes_) + " at " + std::to_string(ns.count()));
}

size_t SimBoard::VanishBudget(size_t wanted) const {
    if (!options_.vanishAfter) return wanted;
    if (operationBytes_ >= options_.vanishAfter) return 0;
    return static_cast<size_t>(std::min<uint64_t>(wanted, options_.vanishAfter - operationBytes_));
}

void SimBoard::SendToHost(Clock::time_point now) {
    wantWrite_ = false;
    // Transmissions follow each other without a pause unless the line, a hold or the
    // simulated work says otherwise.
    while (true) {
        if (!current_) {
            TargetChunk chunk;
            if (!model_.TakeOutput(chunk)) return;
            current_ = std::move(chunk);
            sent_ = 0;
            readyAt_ = now + std::chrono::milliseconds(current_->holdMs) +
                       toHost_.Scaled(current_->workMs);
            speedWaitUntil_.reset();
        }
        if (now < readyAt_) return;
        if (!hostPresent_) {
            // Nobody listens: the bytes are lost on the line.
            current_.reset();
            continue;
        }
        const unsigned baud = current_->baud ? current_->baud : hostBaud_;
        if (baud != hostBaud_ && baud == kLoaderBaud) {
            if (!speedWaitUntil_) speedWaitUntil_ = now + kSpeedWait;
            if (now < *speedWaitUntil_) return;
        }
        std::vector<uint8_t>& bytes = current_->bytes;
        const size_t allowed = VanishBudget(toHost_.Allowance(now, baud, bytes.size() - sent_));
        if (allowed == 0 && sent_ < bytes.size()) return;
        std::vector<uint8_t> slice(bytes.begin() + static_cast<long>(sent_),
                                   bytes.begin() + static_cast<long>(sent_ + allowed));
        if (baud != hostBaud_) {
            if (!garbleLogged_)
                log_("line: sending at " + std::to_string(baud) + " baud to a host at " +
                     std::to_string(hostBaud_) + ": it hears garbage");
            garbleLogged_ = true;
            for (uint8_t& b : slice) b ^= Garbage();
        }
        if (!slice.empty()) {
            const ssize_t n = pty_.Write(slice.data(), slice.size());
            if (n <= 0) {
                wantWrite_ = true;  // the host's input queue is full
                return;
            }
            const auto count = static_cast<size_t>(n);
            sent_ += count;
            toHost_.Moved(now, baud, count);
            operationBytes_ += count;
        }
        if (sent_ < bytes.size()) {
            if (toHost_.Paced()) return;
            continue;
        }
        current_.reset();
    }
}

int SimBoard::Run(int signalFd) {
    hostPresent_ = pty_.HostPresent();
    nextPrompt_ = Clock::now();
    while (true) {
        const auto now = Clock::now();
        WatchHost(now);
        if (exitRequested_) return 0;

        if (hostPresent_ && !current_ && model_.AwaitingAnswer() && now >= nextPrompt_) {
            model_.Prompt();
            LogInstant("prompt", now);
            nextPrompt_ = now + std::chrono::milliseconds(options_.promptMs);
        }
        ReadHost(now);
        SendToHost(now);

        if (options_.vanishAfter && operationBytes_ >= options_.vanishAfter) {
            log_("vanishing after " + std::to_string(operationBytes_) +
                 " bytes: the board is unplugged");
            std::string error;
            if (!SaveFlash(options_.flashPath, model_.Flash(), error)) log_("flash: " + error);
            pty_.Close();
            return 0;
        }
        if (model_.Finished() && !current_) {
            if (!finishedSeen_) {
                finishedSeen_ = true;
                finishedAt_ = now;
                log_("operation complete; waiting for the host to close the port");
            } else if (now - finishedAt_ > kFinishSettle) {
                EndOperation("done");
                if (exitRequested_) return 0;
            }
        }

        // Sleep until something can happen: host bytes, a signal, or the next deadline.
        auto wake = now + kIdlePoll;
        if (hostPresent_ && model_.AwaitingAnswer()) wake = std::min(wake, nextPrompt_);
        if (current_) wake = std::min(wake, std::max(readyAt_, toHost_.FreeAt()));
        if (speedWaitUntil_) wake = std::min(wake, now + 2ms);
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {pty_.MasterFd(), 0, 0}};
        nfds_t count = 1;
        if (hostPresent_) {
            const bool frozen = options_.freezeAfter && operationBytes_ >= options_.freezeAfter;
            const bool canRead = !frozen && fromHost_.Allowance(now, hostBaud_, 1) > 0;
            fds[1].events = static_cast<short>((canRead ? POLLIN : 0) | (wantWrite_ ? POLLOUT : 0));
            if (!canRead) wake = std::min(wake, fromHost_.FreeAt());
            count = 2;  // a hang-up shows at once, so only while the host is there
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(
            std::max(wake - now, Clock::duration::zero()));
        if (poll(fds, count, static_cast<int>(waitMs.count())) > 0 && (fds[0].revents & POLLIN)) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) > 0)
                log_("signal " + std::to_string(info.ssi_signo) + ": shutting down");
            std::string error;
            if (Busy() && !SaveFlash(options_.flashPath, model_.Flash(), error))
                log_("flash: " + error);
            return 0;
        }
    }
}

}  // namespace pelorin::sim
