// One board: the worker, its port and their shared state.
#include "session/board.h"

#include "serial/comm.h"
#include "serial/local_devices.h"

namespace pelorin {

PromptAnswer Board::RecordingPrompt::Show(const PromptRequest& request) {
    size_t index;
    {
        std::lock_guard lock(mutex_);
        index = shown_.size();
        shown_.push_back(request);
    }
    // Announced before it shows: a window's box may wait for its operator a long time.
    sink_.Post(kPromptShownMessage, index, 0);
    return inner_.Show(request);
}

PromptRequest Board::RecordingPrompt::At(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < shown_.size() ? shown_[index] : PromptRequest{};
}

Board::Board(ISessionSink& sink, IOperatorPrompt& prompt, const TargetImages& images,
             std::unique_ptr<ISerialPort> port, ISleeper* sleeper)
    : prompt_(prompt, sink) {
    if (!port) port = MakeBoardPort(shared_.portNames);
    portView_ = port.get();
    worker_ =
        std::make_unique<CDisposalThread>(std::move(port), shared_, sink, prompt_, images, sleeper);
    worker_->Start();
}

Board::~Board() {
    worker_->Quit();
}

std::string Board::PortError() const {
    const cnComm* comm = BoardSystemPort(*portView_);
    return comm ? comm->LastError() : std::string();
}

PortErrorKind Board::PortErrorKind() const {
    const cnComm* comm = BoardSystemPort(*portView_);
    return comm ? comm->LastErrorKind() : pelorin::PortErrorKind::None;
}

void Board::Post(uint32_t id, uint64_t wParam, int64_t lParam) {
    worker_->Queue().Post(id, wParam, lParam);
}

PromptRequest Board::PromptAt(size_t index) const {
    return prompt_.At(index);
}

}  // namespace pelorin
