// Parsing of numbers in texts, independent of the locale.
#include "ui/dialog/text_numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace pelorin::ui {

uint32_t LeadingDecimal(std::string_view text) {
    size_t pos = text.find_first_not_of(" \t");
    if (pos == std::string_view::npos) return 0;
    uint64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + unsigned(text[pos] - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(value);
}

uint16_t CrystalKhzOfText(std::string_view text) {
    double megahertz = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), megahertz);
    if (result.ec != std::errc() || !(megahertz > 0)) return 0;
    const double khz = std::trunc(megahertz * 1000.0);
    return khz > 65535.0 ? uint16_t(65535) : static_cast<uint16_t>(khz);
}

unsigned PortNumberOfText(std::string_view text) {
    if (text.size() <= 3) return 0;
    const std::string_view rest = text.substr(3);
    unsigned value = 0;
    std::from_chars(rest.data(), rest.data() + rest.size(), value);
    return value;
}

}  // namespace pelorin::ui
