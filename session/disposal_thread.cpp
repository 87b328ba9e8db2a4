// The worker thread: its message loop, the open and stop requests.
#include "session/disposal_thread.h"

#include "session/link_settings.h"
#include "session/messages.h"

namespace pelorin {

const CDisposalThread::MessageMapEntry CDisposalThread::kMessageMap[] = {
    {WM_SESSION_OPEN_PORT, &CDisposalThread::OnOpenPort},
    {WM_SESSION_STOP, &CDisposalThread::OnStop},
    {WM_COMM_RXCHAR, &CDisposalThread::OnReceive},
    {WM_COMM_GONE, &CDisposalThread::OnPortGone},
};

CDisposalThread::CDisposalThread(std::unique_ptr<ISerialPort> port, SharedState& shared,
                                 ISessionSink& sink, IOperatorPrompt& prompt,
                                 const TargetImages& images, ISleeper* sleeper)
    : port_(std::move(port)),
      shared_(shared),
      sink_(sink),
      prompt_(prompt),
      protocol_(*port_, sink, prompt, sleeper ? *sleeper : realSleeper_, shared, images) {}

CDisposalThread::~CDisposalThread() {
    Quit();
}

void CDisposalThread::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { Run(); });
}

void CDisposalThread::Quit() {
    if (!thread_.joinable()) return;
    queue_.PostQuit();
    thread_.join();
}

void CDisposalThread::Run() {
    if (!InitInstance()) return;
    Message message;
    while (queue_.Get(message) && message.id != kQuitMessage) Dispatch(message);
    ExitInstance();
}

bool CDisposalThread::InitInstance() {
    protocol_.SetActivePort(1);
    port_->SetNotifyTarget(&queue_);
    shared_.SetWorkerQueue(&queue_);
    return true;
}

int CDisposalThread::ExitInstance() {
    // Unpublish first, so a request posted during shutdown goes nowhere.
    shared_.SetWorkerQueue(nullptr);
    port_->Close();
    return 0;
}

void CDisposalThread::Dispatch(const Message& message) {
    for (const MessageMapEntry& entry : kMessageMap) {
        if (entry.id == message.id) {
            (this->*entry.handler)(message.wParam, message.lParam);
            return;
        }
    }
    // Line-status notifications and anything else have no handler here.
}

void CDisposalThread::OnOpenPort(uint64_t crystalKhz, int64_t portNumber) {
    shared_.SetOpenResult(kOpenPending);
    const char* settings = LineSettingsForCrystal(static_cast<unsigned>(crystalKhz));
    if (port_->IsOpen()) port_->Close();
    const bool inRange = portNumber >= 1 && portNumber <= 1024;
    if (inRange && port_->Open(static_cast<unsigned>(portNumber), settings)) {
        protocol_.SetActivePort(static_cast<unsigned>(portNumber));
        protocol_.SetMainBase(0);
        shared_.SetOpenResult(OpenResultFor(static_cast<unsigned>(portNumber)));
        return;
    }
    // The result goes out before the message, so the requester is free while it shows.
    shared_.SetOpenResult(kOpenFailed);
    prompt_.Show({kCantOpenPortText, kErrorCaption, PromptIcon::Warning});
}

void CDisposalThread::OnStop(uint64_t, int64_t) {
    if (port_->IsOpen()) port_->Close();
    protocol_.SetMainBase(0);
    // The dump file is closed here, after the worker's last write to it, and only here.
    if (shared_.dumpCancel.load()) {
        protocol_.EndDump();
        shared_.dumpFile.Close();
    }
}

void CDisposalThread::OnReceive(uint64_t portNumber, int64_t) {
    protocol_.OnReceive(portNumber);
}

void CDisposalThread::OnPortGone(uint64_t portNumber, int64_t error) {
    // A notice from an earlier opening, or one the session already closed, is stale.
    if (portNumber != protocol_.ActivePort() || !port_->IsOpen()) return;
    port_->Close();
    protocol_.SetMainBase(0);
    protocol_.EndDump();
    shared_.dumpFile.Close();
    sink_.Post(WM_SESSION_PORT_LOST, portNumber, error);
}

}  // namespace pelorin
