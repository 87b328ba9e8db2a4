// Files built into the program at build time: the placeholder target images in resources/.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace pelorin {

struct EmbeddedFile {
    std::string_view name;  // file name as in resources/, e.g. "bootloader1.bin"
    std::span<const uint8_t> bytes;
};

// Every embedded file; the data lives for the whole program.
std::span<const EmbeddedFile> EmbeddedFiles();
// The bytes of the file with this name; empty when there is none.
std::span<const uint8_t> EmbeddedFileBytes(std::string_view name);

}  // namespace pelorin
