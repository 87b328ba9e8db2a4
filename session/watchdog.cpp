// Time-out watchdog and its message.
#include "session/watchdog.h"

#include <string_view>

namespace pelorin {
namespace {

struct CauseLine {
    char stage;
    std::string_view line;
};

constexpr CauseLine kCauseLines[] = {
    {'U',
     "   3. The chip is not working properly,May be the chip type selection is not "
     "correct.(Bootloader is not running)\n"},
    {'A',
     "   3. The chip is not working properly,May be the chip type selection is not "
     "correct.(Bootloader is already running)\n"},
    {'S',
     "   3. Memory is not working properly,May be the memory type or the memory size selection is "
     "not correct.\n"},
    {'F',
     "   3. Memory is not working properly,May be the memory size selection is not correct.\n"},
    {'H', "   3. Flash is not working properly.\n"},
    {'I', "   3. Flash is not working properly.\n"},
};

}  // namespace

std::string TimeoutMessageText(char stage) {
    std::string text = "Time Out(" +
                       std::to_string(static_cast<int>(static_cast<unsigned char>(stage))) +
                       "),please check:\n";
    text += "   1. Cable is connected correctly.\n";
    text += "   2. Target board is power on.\n";
    for (const CauseLine& cause : kCauseLines)
        if (cause.stage == stage) text += cause.line;
    return text;
}

void Watchdog::OnSessionUpdate(uint64_t kind, int64_t value) {
    if (kind == 0) stage_ = static_cast<char>(value & 0xFF);
    running_ = !IsHoldingStage(stage_);
    if (running_) count_ = kWatchdogTicks;
}

std::optional<std::string> Watchdog::Tick() {
    if (!running_) return std::nullopt;
    --count_;
    if (count_ != 0) return std::nullopt;
    return TimeoutMessageText(stage_);
}

}  // namespace pelorin
