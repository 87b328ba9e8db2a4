// Command-line message boxes.
#include "cli/cli_front.h"

namespace pelorin::cli {

PromptAnswer CliPrompt::Show(const PromptRequest& request) {
    screen_.Message(0, request.caption, request.text);
    // Nobody answers on a command line: questions take their safe answer.
    return DefaultAnswer(request.buttons);
}

}  // namespace pelorin::cli
