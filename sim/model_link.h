// The target model and the session in one thread, joined by a port that hands the host's
// writes to the model and the model's transmissions to the host's reads. Used by the demo,
// the tests that run whole operations, and anything else that wants a board without a line.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "session/operator_prompt.h"
#include "session/session_protocol.h"
#include "session/session_sink.h"
#include "session/shared_state.h"
#include "session/sleeper.h"
#include "sim/target_model.h"

namespace pelorin::sim {

class ModelPort final : public ISerialPort {
  public:
    explicit ModelPort(TargetModel& model) : model_(model) {}

    bool Open(unsigned port, const char* settings) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) override;
    unsigned Write(const uint8_t* data, unsigned length) override;

    // Moves the model's next transmission to the host's side; false when it has none. Bytes
    // the model sends at another speed than the port's arrive as garbage; a closed port
    // loses them.
    bool Deliver();
    unsigned Baud() const { return baud_; }
    // Bytes delivered and not yet read by the host.
    size_t Waiting() const { return received_.size(); }
    // The settings text of every open, in order.
    const std::vector<std::string>& Opens() const { return opens_; }

  private:
    TargetModel& model_;
    bool open_ = false;
    unsigned baud_ = 0;
    std::deque<uint8_t> received_;
    std::vector<std::string> opens_;
};

class NoSleeper final : public ISleeper {
  public:
    void SleepMs(unsigned) override {}
};

// One operation of the session against the model, start to end, in the calling thread.
class InProcessSession {
  public:
    InProcessSession(TargetModel& model, SharedState& shared, ISessionSink& sink,
                     IOperatorPrompt& prompt, const TargetImages& images);
    // Powers the board on, opens the port at the crystal's speed, awaits the boot ROM's
    // prompt and runs until neither side has anything more to say. The header, data file and
    // dump file must be set in the shared state before.
    void Run(unsigned crystalKhz);
    ModelPort& Port() { return port_; }

  private:
    TargetModel& model_;
    SharedState& shared_;
    ModelPort port_;
    NoSleeper sleeper_;
    SessionProtocol protocol_;
};

}  // namespace pelorin::sim
