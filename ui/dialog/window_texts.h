// The window's own captions: the operation button's idle caption per mode, with its mnemonic,
// and the same text as plain text.
#pragma once

#include <string>

#include "session/operation.h"

namespace pelorin::ui {

// "&Download", "&Erase", "D&ump".
const char* IdleCaption(OperationKind kind);
// `text` as shown where no mnemonic is drawn: every single "&" dropped, "&&" kept as one.
std::string PlainCaption(const std::string& text);

}  // namespace pelorin::ui
