// The system's own words for an error, for messages. Shared by the tool and the layout helper.
#pragma once

#include <string>

namespace pelorin {

// The text for error `code`: an errno value, or a Windows error number.
std::string SystemErrorText(unsigned long code);
// The text for the last error of the calling thread.
std::string LastSystemErrorText();

}  // namespace pelorin
