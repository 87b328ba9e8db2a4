// The in-process simulated board's thread and port.
#include "sim/local_board.h"

#include <algorithm>

#include "config/file_io.h"
#include "serial/comm_messages.h"
#include "serial/line_settings.h"
#include "serial/message_queue.h"

namespace pelorin::sim {
namespace {

// How long the loop sleeps at most when nothing is due: it also wakes on every write.
constexpr std::chrono::milliseconds kIdleWait{50};

}  // namespace

LocalBoard::LocalBoard(TargetConfig config, LocalBoardOptions options)
    : options_(std::move(options)), model_(std::move(config)) {
    thread_ = std::thread([this] { Loop(); });
}

LocalBoard::~LocalBoard() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool LocalBoard::Open(unsigned port, const char* settings) {
    LineSettings parsed;
    if (port == 0 || !ParseLineSettings(settings, parsed)) return false;
    {
        std::lock_guard lock(mutex_);
        // The same port again is a speed switch: what has arrived and what is due stay.
        if (!open_ || port != port_) {
            model_.Reset();
            received_.clear();
            current_.reset();
            written_ = 0;
            finishedSeen_ = false;
            nextPrompt_ = Clock::now();
        }
        open_ = true;
        port_ = port;
        baud_ = parsed.baud;
    }
    wake_.notify_all();
    return true;
}

void LocalBoard::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    received_.clear();
}

bool LocalBoard::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

unsigned LocalBoard::Read(uint8_t* buffer, unsigned maxLength, unsigned) {
    std::lock_guard lock(mutex_);
    const auto count = unsigned(std::min<size_t>(maxLength, received_.size()));
    std::copy_n(received_.begin(), count, buffer);
    received_.erase(received_.begin(), received_.begin() + count);
    return count;
}

unsigned LocalBoard::Write(const uint8_t* data, unsigned length) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return 0;
        model_.Receive(data, length, baud_);
        written_ += length;
    }
    wake_.notify_all();
    return length;
}

void LocalBoard::SetNotifyTarget(MessageQueue* target) {
    std::lock_guard lock(mutex_);
    target_ = target;
}

uint64_t LocalBoard::BytesQueued() const {
    std::lock_guard lock(mutex_);
    return written_;
}

uint64_t LocalBoard::BytesLeftHost() const {
    return BytesQueued();
}

std::vector<uint8_t> LocalBoard::Flash() const {
    std::lock_guard lock(mutex_);
    return model_.Flash();
}

unsigned LocalBoard::Operations() const {
    std::lock_guard lock(mutex_);
    return operations_;
}

void LocalBoard::Loop() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        Step(now);
        Clock::time_point until = now + kIdleWait;
        if (current_) until = std::min(until, readyAt_);
        if (open_ && !current_ && model_.AwaitingAnswer()) until = std::min(until, nextPrompt_);
        wake_.wait_until(lock, until);
    }
}

// With the lock held: the prompt when due, the next transmission, its delivery when its work
// is done, and the flash file after an operation.
void LocalBoard::Step(Clock::time_point now) {
    if (!open_) return;
    if (!current_ && model_.AwaitingAnswer() && now >= nextPrompt_) {
        model_.Prompt();
        nextPrompt_ = now + std::chrono::milliseconds(options_.promptMs);
    }
    if (!current_) {
        TargetChunk chunk;
        if (!model_.TakeOutput(chunk)) return;
        std::chrono::duration<double, std::milli> work(0);
        if (options_.paceFactor > 0)
            work = std::chrono::duration<double, std::milli>(chunk.workMs / options_.paceFactor);
        readyAt_ = now + std::chrono::milliseconds(chunk.holdMs) +
                   std::chrono::duration_cast<Clock::duration>(work);
        current_ = std::move(chunk);
    }
    if (now < readyAt_) return;
    // Sent at another speed than the host listens at, the bytes arrive as garbage.
    const bool garbled = current_->baud != 0 && current_->baud != baud_;
    for (uint8_t byte : current_->bytes) received_.push_back(garbled ? uint8_t(0x00) : byte);
    current_.reset();
    if (target_) target_->Post(WM_COMM_RXCHAR, port_, 0);
    if (model_.Finished() && !finishedSeen_) {
        finishedSeen_ = true;
        ++operations_;
        if (!options_.flashPath.empty()) SaveFlashFile();
    }
}

// Best effort: the board goes on with its flash in memory when the file cannot be written.
void LocalBoard::SaveFlashFile() const {
    std::string error;
    auto file = OutFile::CreateReplacing(options_.flashPath, &error);
    if (!file) return;
    file->Write(model_.Flash());
    file->Close();
}

}  // namespace pelorin::sim
