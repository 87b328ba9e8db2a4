// Line ends of texts that cross to the platform: the layout's saved text and the Windows edit
// controls hold CR LF, the programs' texts line feeds.
#pragma once

#include <string>
#include <string_view>

namespace pelorin {

// `text` with every line ending in CR LF.
std::string WithCrLf(std::string_view text);
// CR LF line ends as line feeds.
std::string WithoutCr(std::string_view text);

}  // namespace pelorin
