// Trimming white space.
#include "base/trim.h"

namespace pelorin {

std::string_view Trim(std::string_view text, std::string_view strip) {
    const size_t first = text.find_first_not_of(strip);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(strip);
    return text.substr(first, last - first + 1);
}

}  // namespace pelorin
