// The prepared data file of a Download: the chosen section cut out of a whole-flash image, or
// the operator's file whole, compressed into one gzip member the target's loader unpacks.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>

#include "config/compression.h"
#include "config/file_io.h"
#include "config/work_dir.h"

#include "base/hardware_info.h"

namespace pelorin {

inline constexpr int kPreparedDeflateLevel = 6;
inline constexpr uint8_t kGzipOsByte = 11;  // the value the target's loader has always seen

// One gzip member as the classic gzip command writes it for a named file: FNAME set, XFL 0
// at level 6, no other flags.
// With Compression::Best the stream comes from libdeflate at its highest level and the header
// stays exactly that of the level 6 member: only the deflate stream differs.
struct GzipMemberOptions {
    int level = kPreparedDeflateLevel;
    Compression compression = Compression::Standard;
    uint32_t mtime = 0;  // seconds since 1970; 0 means none
    std::string name;    // stored base name; empty leaves FNAME clear
};
// Compresses `length` bytes from `in` into `out`. Fails when `in` ends early, a write fails,
// or the member would reach `maxMemberBytes`. `memberBytes` gets the member's length.
bool WriteGzipMember(std::istream& in, uint64_t length, OutFile& out,
                     const GzipMemberOptions& options, uint64_t maxMemberBytes,
                     uint64_t* memberBytes, std::string* error);

struct PrepareRequest {
    std::filesystem::path sourcePath;  // the operator's file
    bool wholeImage = false;           // from the whole-flash check
    uint32_t startAddress = 0;         // of the chosen section
    uint32_t sectionSize = 0;
    Compression compression = Compression::Standard;
};

struct PreparedData {
    bool ok = false;
    std::string error;  // set when not ok; the operation must not go on
    std::filesystem::path dataFilePath;
    // The file's first bytes; a file shorter than 8 bytes gives fewer.
    HardwareInfo hardwareInfo{};
    size_t hardwareInfoLength = 0;
    uint64_t dataBytes = 0;      // bytes that go to flash
    uint64_t preparedBytes = 0;  // length of the prepared file, as announced to the target
    uint32_t mtime = 0;          // stored in the gzip header

    // `earlier` with the first hardwareInfoLength bytes replaced: what a short file leaves.
    HardwareInfo HardwareInfoOver(const HardwareInfo& earlier) const;
};

// Rebuilds `paths.dataFilePath` from scratch. A prepared file of 16 MiB or more cannot be
// announced to the target and is refused.
PreparedData PrepareDataFile(const WorkPaths& paths, const PrepareRequest& request);

}  // namespace pelorin
