// What appending to the log does the same on every platform: the bounded wait for the lock and
// the texts of its failures.
#include <thread>

#include "config/append_lock.h"
#include "config/system_error.h"

namespace pelorin {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLockPoll = std::chrono::milliseconds(20);

}  // namespace

std::string AppendFile::ErrorText(const char* what) const {
    return "Can't " + std::string(what) + " the log " + path_.string() + ": " +
           LastSystemErrorText();
}

std::string AppendFile::WaitForLock(const std::function<LockTry()>& tryLock,
                                    std::chrono::milliseconds lockWait,
                                    const std::function<bool()>& stop) const {
    const auto deadline = Clock::now() + lockWait;
    for (;;) {
        switch (tryLock()) {
            case LockTry::Taken:
                return {};
            case LockTry::Failed:
                return ErrorText("lock");
            case LockTry::Busy:
                break;
        }
        if (stop && stop())
            return "The log " + path_.string() + " is locked by another process; stopped waiting";
        if (Clock::now() >= deadline)
            return "The log " + path_.string() + " stayed locked by another process for " +
                   std::to_string(
                       std::chrono::duration_cast<std::chrono::seconds>(lockWait).count()) +
                   " s; the row was not written";
        std::this_thread::sleep_for(kLockPoll);
    }
}

}  // namespace pelorin
