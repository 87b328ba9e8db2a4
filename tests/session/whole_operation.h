// Stand-ins for the owner of a whole operation on a real board (a simulated one on a line or
// in the process): a sink into the owner's queue, a prompt and a view that note what they are
// told, and the owner's loop that runs one operation on section Logo to its end.
#pragma once

#include <chrono>
#include <string>

#include "serial/message_queue.h"
#include "session/board.h"
#include "session/operation.h"

namespace pelorin::testing {

class QueueSink final : public ISessionSink {
  public:
    explicit QueueSink(MessageQueue& queue) : queue_(queue) {}
    void Post(uint32_t id, uint64_t w, int64_t l) override { queue_.Post(id, w, l); }
    void Beep() override {}

  private:
    MessageQueue& queue_;
};

// Answers OK and keeps every box as "caption: text" lines.
class NotingPrompt final : public IOperatorPrompt {
  public:
    PromptAnswer Show(const PromptRequest& r) override {
        shown += r.caption + ": " + r.text + "\n";
        return PromptAnswer::Ok;
    }
    std::string shown;
};

class EndView final : public IOperationView {
  public:
    void OnStarted(const std::string&) override {}
    void OnStage(char letter, const std::string&) override { stages += letter; }
    void OnMainPercent(unsigned) override {}
    void OnSubPercent(unsigned) override {}
    void OnSendBegin(uint64_t) override {}
    void OnSendEnd() override {}
    void OnTimeout(char, const std::string& message) override { timeouts += message; }
    void OnInfo(const std::string&) override {}
    void OnEnded(Outcome o, const std::string& t, bool) override {
        outcome = o;
        text = t;
    }
    std::string stages, timeouts, text;
    Outcome outcome = Outcome::NotStarted;
};

// Runs `kind` on section Logo of the board behind `port` to its end, as a front end's loop
// does, with the limits a script sets.
inline Outcome RunOnLogo(Board& board, MessageQueue& queue, unsigned port,
                         const std::string& portLabel, OperationKind kind, const std::string& file,
                         EndView& view) {
    using namespace std::chrono_literals;
    OperationRequest request;
    request.kind = kind;
    request.portLabel = portLabel;
    request.portNumber = port;
    request.section = SegmentEntry{"Logo", 0x130000, 0x8000};
    request.file = file;
    request.header.crystalKhz = 27000;
    request.giveUpSeconds = 5;
    request.limitSilentBoard = true;
    Operation operation(board, view);
    if (operation.Start(request) != Outcome::Running) return operation.State();
    while (operation.Running()) {
        Message m;
        if (queue.GetFor(m, 100ms)) operation.OnMessage(m);
        operation.Poll();
    }
    return operation.State();
}

}  // namespace pelorin::testing
