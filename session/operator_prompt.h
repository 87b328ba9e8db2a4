// Every message box the operator sees goes through this interface, so that the window, the
// command line and the tests can each show, print or record it.
#pragma once

#include <string>

namespace pelorin {

enum class PromptIcon { Warning, Information };
// With a Cancel button, Cancel is the default button.
enum class PromptButtons { Ok, YesNo, YesNoCancel, OkCancel };
enum class PromptAnswer { Ok, Yes, No, Cancel };

// The answer of an operator who only presses Enter: the safe one.
constexpr PromptAnswer DefaultAnswer(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
            return PromptAnswer::No;
        case PromptButtons::YesNoCancel:
        case PromptButtons::OkCancel:
            return PromptAnswer::Cancel;
    }
    return PromptAnswer::Ok;
}

struct PromptRequest {
    std::string text;
    std::string caption;
    PromptIcon icon = PromptIcon::Warning;
    PromptButtons buttons = PromptButtons::Ok;
};

class IOperatorPrompt {
  public:
    virtual ~IOperatorPrompt() = default;
    // Shows the message and returns the operator's answer. May be called from the worker;
    // the caller waits until it returns.
    virtual PromptAnswer Show(const PromptRequest& request) = 0;
};

}  // namespace pelorin
