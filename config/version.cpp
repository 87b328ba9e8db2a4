// Version text from the build's product version.
#include "config/version.h"

#include "config/product_version.h"

namespace pelorin {

ProductVersion BuiltProductVersion() {
    return {PELORIN_VERSION_MAJOR, PELORIN_VERSION_MINOR, PELORIN_VERSION_PATCH,
            PELORIN_VERSION_TWEAK};
}

std::string FormatVersionText(const ProductVersion& v) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "V" + std::string&&.
    std::string text = "V";
    text += std::to_string(v.major);
    text += '.';
    text += std::to_string(v.minor);
    text += std::to_string(v.patch);
    text += std::to_string(v.tweak);
    return text;
}

std::string GetVersionText() {
    return FormatVersionText(BuiltProductVersion());
}

}  // namespace pelorin
