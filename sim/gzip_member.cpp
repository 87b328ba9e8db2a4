// gzip inflation with zlib, bounded by the flash section's size.
#include "sim/gzip_member.h"

#include <zlib.h>

#include <climits>

namespace pelorin::sim {

bool InflateGzipMember(std::span<const uint8_t> member, size_t maxBytes, std::vector<uint8_t>& out,
                       std::string& error) {
    out.clear();
    if (member.empty()) {
        error = "no data";
        return false;
    }
    if (member.size() > UINT_MAX) {
        error = "member too long";
        return false;
    }
    z_stream z{};
    // 16 + MAX_WBITS: a gzip wrapper only, with its CRC-32 and length checked by zlib.
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        error = "inflateInit2 failed";
        return false;
    }
    z.next_in = const_cast<Bytef*>(member.data());
    z.avail_in = static_cast<uInt>(member.size());
    constexpr size_t kStep = 64 * 1024;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (out.size() > maxBytes) break;
        const size_t used = out.size();
        out.resize(used + kStep);
        z.next_out = out.data() + used;
        z.avail_out = static_cast<uInt>(kStep);
        rc = inflate(&z, Z_NO_FLUSH);
        out.resize(used + (kStep - z.avail_out));
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // input ended inside the member
    }
    const char* message = z.msg;
    inflateEnd(&z);
    if (out.size() > maxBytes) {
        error = "inflates to more than the section's " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    if (rc != Z_STREAM_END) {
        error = message ? message : (rc == Z_BUF_ERROR ? "member is cut short" : "inflate failed");
        return false;
    }
    return true;
}

}  // namespace pelorin::sim
