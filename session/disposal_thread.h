// The worker: one thread with its own message queue that owns the serial port and runs every
// session. Requests arrive as posted messages (open, stop, data arrived); what happens goes
// out through the sink and the operator prompt.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "serial/message_queue.h"
#include "serial/serial_port.h"
#include "session/operator_prompt.h"
#include "session/session_protocol.h"
#include "session/session_sink.h"
#include "session/shared_state.h"
#include "session/sleeper.h"
#include "session/target_images.h"

namespace pelorin {

inline constexpr const char* kCantOpenPortText = "Can't open port!";

class CDisposalThread {
  public:
    // `port` is the one serial port the worker owns; nothing else touches it.
    CDisposalThread(std::unique_ptr<ISerialPort> port, SharedState& shared, ISessionSink& sink,
                    IOperatorPrompt& prompt, const TargetImages& images,
                    ISleeper* sleeper = nullptr);
    // Ends the thread (quit, then join) if it still runs; the port is closed by then.
    ~CDisposalThread();
    CDisposalThread(const CDisposalThread&) = delete;
    CDisposalThread& operator=(const CDisposalThread&) = delete;

    // Starts the thread; its queue is published in the shared state once it runs.
    void Start();
    // Asks the thread to end and waits for it.
    void Quit();

    MessageQueue& Queue() { return queue_; }

  private:
    struct MessageMapEntry {
        uint32_t id;
        void (CDisposalThread::*handler)(uint64_t wParam, int64_t lParam);
    };
    static const MessageMapEntry kMessageMap[];

    bool InitInstance();
    int ExitInstance();
    void Run();
    void Dispatch(const Message& message);

    void OnOpenPort(uint64_t crystalKhz, int64_t portNumber);
    void OnStop(uint64_t, int64_t);
    void OnReceive(uint64_t portNumber, int64_t);
    void OnPortGone(uint64_t portNumber, int64_t error);

    std::unique_ptr<ISerialPort> port_;
    SharedState& shared_;
    ISessionSink& sink_;
    IOperatorPrompt& prompt_;
    RealSleeper realSleeper_;
    SessionProtocol protocol_;
    MessageQueue queue_;
    std::thread thread_;
};

}  // namespace pelorin
