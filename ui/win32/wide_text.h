// UTF-8 texts of the portable code to and from the UTF-16 of the Windows API.
#pragma once

#include <string>
#include <string_view>

#include "base/line_ends.h"  // the portable "\n" to an edit's "\r\n", and back

namespace pelorin::ui {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace pelorin::ui
