// Verifying a Download: the section read back from the board against what was written, which
// is the section's part of a whole-flash image or the operator's file itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pelorin {

struct WrittenData {
    std::filesystem::path file;  // the operator's file
    bool wholeImage = false;     // the section is cut out of it at startAddress
    uint32_t startAddress = 0;   // of the section
    uint32_t sectionSize = 0;
};

struct VerifyReport {
    std::string error;  // the files could not be read; nothing compared
    uint64_t compared = 0;
    std::optional<uint64_t> firstDifference;  // offset within the section
    uint64_t tailBytes = 0;                   // section bytes after a shorter file
    bool tailErased = true;                   // all of them 0xFF

    bool Matches() const { return error.empty() && !firstDifference; }
};

VerifyReport CompareWritten(const std::filesystem::path& dump, const WrittenData& written);
// One line for the operator and the log: "passed", "passed; the 4096 bytes after the file are
// erased", "differs at offset 0x10 (address 0x130010)", ...
std::string VerifyText(const VerifyReport& report, uint32_t startAddress);

}  // namespace pelorin
