// One board on one port: the worker with the port it owns and the state it shares with its
// owner. The window keeps one for its whole life; the command line makes one per run; the
// production line one per port. Notifications leave through the owner's sink; every message
// box the worker shows is also announced through the sink (kPromptShownMessage) so that the
// operation following the board can tell how it ended.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "serial/port_error.h"
#include "serial/serial_port.h"
#include "session/disposal_thread.h"
#include "session/messages.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"
#include "session/shared_state.h"
#include "session/target_images.h"

namespace pelorin {

// Posted through the sink after the worker showed a message box: wParam is the index for
// Board::PromptAt; lParam 0.
inline constexpr uint32_t kPromptShownMessage = kWmUser + 300;

class Board {
  public:
    // `port` null makes the real serial port. `sink` and `prompt` must outlive the board; the
    // worker calls them from its own thread. The worker starts at once.
    Board(ISessionSink& sink, IOperatorPrompt& prompt, const TargetImages& images,
          std::unique_ptr<ISerialPort> port = nullptr, ISleeper* sleeper = nullptr);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    SharedState& Shared() { return shared_; }
    // Thread-safe reads of the port (measured bytes on the wire, last error).
    const ISerialPort& Port() const { return *portView_; }
    std::string PortError() const;
    // What the port's last failure means to the operator.
    pelorin::PortErrorKind PortErrorKind() const;
    // Posts a request to the worker.
    void Post(uint32_t id, uint64_t wParam = 0, int64_t lParam = 0);
    // Message boxes of the operation itself (not recorded).
    IOperatorPrompt& Prompt() { return prompt_.Inner(); }
    // A copy of a message box the worker showed.
    PromptRequest PromptAt(size_t index) const;

  private:
    class RecordingPrompt final : public IOperatorPrompt {
      public:
        RecordingPrompt(IOperatorPrompt& inner, ISessionSink& sink) : inner_(inner), sink_(sink) {}
        PromptAnswer Show(const PromptRequest& request) override;
        PromptRequest At(size_t index) const;
        IOperatorPrompt& Inner() { return inner_; }

      private:
        IOperatorPrompt& inner_;
        ISessionSink& sink_;
        mutable std::mutex mutex_;
        std::vector<PromptRequest> shown_;
    };

    SharedState shared_;
    RecordingPrompt prompt_;
    ISerialPort* portView_ = nullptr;
    std::unique_ptr<CDisposalThread> worker_;
};

}  // namespace pelorin
