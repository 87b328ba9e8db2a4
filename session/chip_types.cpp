// Chip list look-ups.
#include "session/chip_types.h"

#include <cctype>

namespace pelorin {

std::optional<ChipType> ChipForCode(unsigned code) {
    for (const ChipType& chip : kChipTypes)
        if (chip.code == code) return chip;
    return std::nullopt;
}

std::optional<unsigned> ChipPositionForName(std::string_view name) {
    for (unsigned i = 0; i < kChipTypes.size(); ++i) {
        std::string_view candidate = kChipTypes[i].name;
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < name.size() && same; ++k)
            same = std::toupper(static_cast<unsigned char>(name[k])) == candidate[k];
        if (same) return i;
    }
    return std::nullopt;
}

}  // namespace pelorin
