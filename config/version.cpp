// Version text from the build's product version.
#include "config/version.h"

#include "config/product_version.h"

namespace pelorin {

ProductVersion BuiltProductVersion() {
    return {PELORIN_VERSION_MAJOR, PELORIN_VERSION_MINOR, PELORIN_VERSION_PATCH,
            PELORIN_VERSION_TWEAK};
}

std::string FormatVersionText(const ProductVersion& v) {
    return "V" + std::to_string(v.major) + "." + std::to_string(v.minor) + std::to_string(v.patch) +
           std::to_string(v.tweak);
}

std::string GetVersionText() {
    return FormatVersionText(BuiltProductVersion());
}

}  // namespace pelorin
