// The command line as the worker's owner: posts from the worker land in the main thread's
// queue, and message boxes are printed (and remembered, so the result can name them).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "cli/progress_view.h"
#include "serial/message_queue.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"

namespace pelorin::cli {

// Ids of the command line's own messages in its main queue.
inline constexpr uint32_t kCliPromptShown = 0x8001;  // index into CliPrompt's list; 0

class CliSink final : public ISessionSink {
public:
    explicit CliSink(MessageQueue& queue) : queue_(queue) {}
    void Post(uint32_t id, uint64_t wParam, int64_t lParam) override { queue_.Post(id, wParam, lParam); }
    void Beep() override {}

private:
    MessageQueue& queue_;
};

class CliPrompt final : public IOperatorPrompt {
public:
    CliPrompt(ProgressView& view, MessageQueue& queue) : view_(view), queue_(queue) {}
    PromptAnswer Show(const PromptRequest& request) override;
    // A copy of the request posted with kCliPromptShown.
    PromptRequest At(size_t index) const;

private:
    ProgressView& view_;
    MessageQueue& queue_;
    mutable std::mutex mutex_;
    std::vector<PromptRequest> shown_;
};

}  // namespace pelorin::cli
