// In-process link between the session and the target model.
#include "sim/model_link.h"

#include <algorithm>

#include "serial/line_settings.h"
#include "session/link_settings.h"

namespace pelorin::sim {

bool ModelPort::Open(unsigned port, const char* settings) {
    if (port == 0 || port > 1024) return false;
    opens_.emplace_back(settings);
    received_.clear();
    LineSettings parsed;
    if (!ParseLineSettings(settings, parsed)) return false;
    baud_ = parsed.baud;
    open_ = true;
    return true;
}

void ModelPort::Close() {
    open_ = false;
}

unsigned ModelPort::Read(uint8_t* buffer, unsigned maxLength, unsigned) {
    if (!open_) return 0;
    const auto count = static_cast<unsigned>(std::min<size_t>(maxLength, received_.size()));
    std::copy_n(received_.begin(), count, buffer);
    received_.erase(received_.begin(), received_.begin() + count);
    return count;
}

unsigned ModelPort::Write(const uint8_t* data, unsigned length) {
    if (!open_) return 0;
    model_.Receive(data, length, baud_);
    return length;
}

bool ModelPort::Deliver() {
    TargetChunk chunk;
    if (!model_.TakeOutput(chunk)) return false;
    if (!open_) return true;
    const bool garbled = chunk.baud != 0 && chunk.baud != baud_;
    for (uint8_t byte : chunk.bytes) received_.push_back(garbled ? uint8_t(0x00) : byte);
    return true;
}

InProcessSession::InProcessSession(TargetModel& model, SharedState& shared, ISessionSink& sink,
                                   IOperatorPrompt& prompt, const TargetImages& images)
    : model_(model),
      shared_(shared),
      port_(model),
      protocol_(port_, sink, prompt, sleeper_, shared, images) {}

void InProcessSession::Run(unsigned crystalKhz) {
    constexpr unsigned kPort = 1;
    model_.Reset();
    port_.Open(kPort, LineSettingsForCrystal(crystalKhz));
    protocol_.SetActivePort(kPort);
    protocol_.SetMainBase(0);
    shared_.awaitBootRom = true;
    model_.Prompt();
    // Each transmission is one receive notification; a long one takes several reads.
    while (port_.Deliver()) {
        do {
            protocol_.OnReceive(kPort);
        } while (port_.Waiting() > 0 && port_.IsOpen());
    }
}

}  // namespace pelorin::sim
