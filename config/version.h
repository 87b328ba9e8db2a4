// The product version and the short text shown in the caption and the About box.
#pragma once

#include <string>

namespace pelorin {

struct ProductVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned patch = 0;
    unsigned tweak = 0;
};

// The version this program was built as.
ProductVersion BuiltProductVersion();
// "V" major "." minor patch tweak, the last three without separators: 2.1.0.5 gives "V2.105".
std::string FormatVersionText(const ProductVersion& version);
// The text of the built version.
std::string GetVersionText();

}  // namespace pelorin
