// The command line as the board's owner: posts from the worker land in the main thread's
// queue, and message boxes are printed.
#pragma once

#include "cli/line_view.h"
#include "serial/message_queue.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"

namespace pelorin::cli {

class CliSink final : public ISessionSink {
  public:
    explicit CliSink(MessageQueue& queue) : queue_(queue) {}
    void Post(uint32_t id, uint64_t wParam, int64_t lParam) override {
        queue_.Post(id, wParam, lParam);
    }
    // The terminal's bell rings with the result instead.
    void Beep() override {}

  private:
    MessageQueue& queue_;
};

class CliPrompt final : public IOperatorPrompt {
  public:
    explicit CliPrompt(LineScreen& screen) : screen_(screen) {}
    PromptAnswer Show(const PromptRequest& request) override;

  private:
    LineScreen& screen_;
};

}  // namespace pelorin::cli
