// The built-in segment layout: a 2 MiB flash in nine sections, [Config] keys all commented out.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pelorin {

inline constexpr size_t kDefaultLayoutLineCount = 48;
extern const std::array<std::string_view, kDefaultLayoutLineCount> kDefaultLayoutLines;

// The default text as written to the working layout file: every line ended by CR LF.
std::string DefaultLayoutText();

}  // namespace pelorin
