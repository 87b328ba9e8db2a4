// Writing the stored layout helper out with its real bytes.
#include "config/layout_helper_blob.h"

#include <algorithm>
#include <vector>

#include "config/file_io.h"

namespace pelorin {

bool WriteLayoutHelper(const std::filesystem::path& helperPath, std::string* error) {
    std::span<const uint8_t> stored = StoredLayoutHelper();
    size_t flipped = std::min(stored.size(), kHelperComplementedBytes);
    std::vector<uint8_t> head(stored.begin(), stored.begin() + static_cast<ptrdiff_t>(flipped));
    for (uint8_t& byte : head) byte = static_cast<uint8_t>(~byte);
    auto file = OutFile::CreateReplacing(helperPath, error, 0700);
    if (!file) return false;
    bool ok = file->Write(head) && file->Write(stored.subspan(flipped));
    if (!file->Close() || !ok) {
        if (error) *error = "Cannot write the layout helper " + helperPath.string() + ".";
        return false;
    }
    return true;
}

}  // namespace pelorin
