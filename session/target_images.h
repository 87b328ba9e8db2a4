// The programs the tool uploads to the target: ten boot loader images and one DRAM loader
// image per family. Built into the program; a folder of the vendor's real images may replace
// any of them at run time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/announce_limit.h"
#include "session/chip_types.h"

namespace pelorin {

// Environment variable naming a folder of replacement images.
inline constexpr const char* kImagesDirEnv = "PELORIN_IMAGES_DIR";
// Largest boot loader image: it must leave the header's place in the 2048-byte block free.
inline constexpr unsigned kMaxBootImageBytes = 2016;

class TargetImages {
  public:
    // The built-in set.
    TargetImages();

    // Replaces each image that `folder` holds: "bootloader<N>.bin" (N 1..10),
    // "dram-big-endian.bin", "dram-little-endian.bin". A file that does not fit its limit is
    // refused: nothing is replaced and `error` says which file and why.
    bool LoadOverrides(const std::filesystem::path& folder, std::string& error);

    // Image number 1..10; empty span for any other number.
    std::span<const uint8_t> BootImage(unsigned imageNumber) const;
    std::span<const uint8_t> DramImage(ChipFamily family) const;

  private:
    std::vector<uint8_t> boot_[kBootImageCount];
    std::vector<uint8_t> dramBig_;
    std::vector<uint8_t> dramLittle_;
};

}  // namespace pelorin
