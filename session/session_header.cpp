// Header serialisation by family.
#include "session/session_header.h"

namespace pelorin {
namespace {

void Put16(uint8_t* at, uint16_t v, bool msbFirst) {
    at[msbFirst ? 0 : 1] = static_cast<uint8_t>(v >> 8);
    at[msbFirst ? 1 : 0] = static_cast<uint8_t>(v);
}

void Put32(uint8_t* at, uint32_t v, bool msbFirst) {
    for (int i = 0; i < 4; ++i) {
        auto byte = static_cast<uint8_t>(v >> (8 * i));
        at[msbFirst ? 3 - i : i] = byte;
    }
}

}  // namespace

std::array<uint8_t, kSessionHeaderBytes> SessionHeader::WireBytes(ChipFamily family) const {
    const bool msbFirst = family == ChipFamily::BigEndian;
    std::array<uint8_t, kSessionHeaderBytes> out{};
    out[0] = mode;
    out[1] = chipCode;
    Put16(&out[2], crystalKhz, msbFirst);
    out[5] = memoryType;
    out[6] = memorySize;
    Put32(&out[8], startAddress, msbFirst);
    Put32(&out[12], sectionSize, msbFirst);
    out[17] = sdramMode;
    return out;
}

}  // namespace pelorin
