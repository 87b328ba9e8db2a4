// Messages the window receives besides the worker's own.
#pragma once

#include <cstdint>

namespace pelorin::ui {

// Posted instead of beeping on the worker thread: the window beeps when it arrives.
inline constexpr uint32_t kBeepMessage = 0x7F00;

}  // namespace pelorin::ui
