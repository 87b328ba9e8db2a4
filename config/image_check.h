// Checks of the operator's download file: the whole-flash image signature, and whether the
// file may be sent to the chosen section at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "base/announce_limit.h"

namespace pelorin {

inline constexpr uint32_t kWholeImageWord0 = 0x55AA55AA;
inline constexpr uint32_t kWholeImageWord1A = 0xAA550130;
inline constexpr uint32_t kWholeImageWord1B = 0xAA552161;
// A whole-flash image must be longer than this many bytes.
inline constexpr uint64_t kWholeImageMinBytesExclusive = 0x10000;

inline constexpr const char* kNoDownloadFileText = "Please choose to download files!";
inline constexpr const char* kFileTooLongText = "File length out of the segment size!";

// The signature test on a file's first bytes (fewer than 8 leave the missing words 0) and its
// length.
bool HasWholeFlashSignature(std::span<const uint8_t> head, uint64_t fileLength);

struct FlashImageCheck {
    bool opened = false;  // false: the file could not be read; `error` says why
    bool wholeImage = false;
    std::string error;
};
FlashImageCheck CheckFlashImage(const std::filesystem::path& path);
// True for a whole-flash image; false for any other file and for one that cannot be read.
// Why `file` cannot be downloaded when it is no regular file.
std::string NotRegularFileText(const std::string& file);
// Why `file` cannot be read as a download file: missing, or no regular file; empty when it is
// one. Nothing is opened: opening a FIFO would wait for a writer for ever.
std::string CheckRegularFile(const std::string& file);

bool IsWholeFlashImage(const std::filesystem::path& path);

// The check before a Download: a file is chosen and can be opened, and unless it is a
// whole-flash image it is no longer than the section.
struct DownloadFileCheck {
    bool ok = false;
    uint64_t fileLength = 0;
    std::string error;  // the text to show the operator when not ok
};
DownloadFileCheck CheckDownloadFile(const std::filesystem::path& path, uint32_t sectionSize,
                                    bool wholeImage);

}  // namespace pelorin
