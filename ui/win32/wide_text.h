// UTF-8 texts of the portable code to and from the UTF-16 of the Windows API.
#pragma once

#include <string>
#include <string_view>

namespace pelorin::ui {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);
// Line ends: the portable "\n" to an edit's "\r\n", and back.
std::string ToCrLf(std::string_view text);
std::string FromCrLf(std::string_view text);

}  // namespace pelorin::ui
