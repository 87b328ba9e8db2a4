// Cutting white space off both ends of a text: the one trim every layer's parsers use.
#pragma once

#include <string_view>

namespace pelorin {

// The white space of the "C" locale: blank, tab, new line, vertical tab, form feed, return.
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
// Blank and tab only, for parsers that split lines first.
inline constexpr std::string_view kBlanks = " \t";

// `text` without leading and trailing characters of `strip`.
std::string_view Trim(std::string_view text, std::string_view strip = kWhiteSpace);

}  // namespace pelorin
