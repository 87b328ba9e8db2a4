// Command-line sink and message boxes.
#include "cli/cli_front.h"

namespace pelorin::cli {

PromptAnswer CliPrompt::Show(const PromptRequest& request) {
    view_.Message(request.caption, request.text);
    size_t index;
    {
        std::lock_guard lock(mutex_);
        index = shown_.size();
        shown_.push_back(request);
    }
    queue_.Post(kCliPromptShown, index, 0);
    // Nobody answers on a command line: questions take their safe answer.
    return request.buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
}

PromptRequest CliPrompt::At(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < shown_.size() ? shown_[index] : PromptRequest{};
}

}  // namespace pelorin::cli
