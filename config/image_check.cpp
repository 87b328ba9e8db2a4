// Whole-flash signature and the download file check.
#include "config/image_check.h"

#include <array>
#include <fstream>
#include <system_error>

namespace pelorin {
namespace {

uint32_t Word(std::span<const uint8_t> head, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && at + i < head.size(); ++i)
        value |= static_cast<uint32_t>(head[at + i]) << (8 * i);
    return value;
}

}  // namespace

bool HasWholeFlashSignature(std::span<const uint8_t> head, uint64_t fileLength) {
    // A short file leaves whole words 0, never part of one.
    uint32_t word0 = head.size() >= 4 ? Word(head, 0) : 0;
    uint32_t word1 = head.size() >= 8 ? Word(head, 4) : 0;
    bool signature =
        word0 == kWholeImageWord0 || word1 == kWholeImageWord1A || word1 == kWholeImageWord1B;
    return signature && fileLength > kWholeImageMinBytesExclusive;
}

FlashImageCheck CheckFlashImage(const std::filesystem::path& path) {
    FlashImageCheck result;
    std::error_code ec;
    // Known before any open: opening a FIFO would wait for a writer for ever.
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        result.error = NotRegularFileText(path.string());
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    uint64_t length = std::filesystem::file_size(path, ec);
    if (!in || ec) {
        result.error = "Cannot open the file " + path.string() + ".";
        return result;
    }
    std::array<uint8_t, 8> head{};
    in.read(reinterpret_cast<char*>(head.data()), head.size());
    result.opened = true;
    result.wholeImage =
        HasWholeFlashSignature(std::span(head.data(), static_cast<size_t>(in.gcount())), length);
    return result;
}

std::string NotRegularFileText(const std::string& file) {
    return file + " is not a regular file (a directory, FIFO or device cannot be downloaded)";
}

std::string CheckRegularFile(const std::string& file) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec || !fs::exists(status))
        return "Can't open " + file + ": " + (ec ? ec.message() : "No such file or directory");
    return fs::is_regular_file(status) ? std::string() : NotRegularFileText(file);
}

bool IsWholeFlashImage(const std::filesystem::path& path) {
    return CheckFlashImage(path).wholeImage;
}

DownloadFileCheck CheckDownloadFile(const std::filesystem::path& path, uint32_t sectionSize,
                                    bool wholeImage) {
    DownloadFileCheck result;
    if (path.empty()) {
        result.error = kNoDownloadFileText;
        return result;
    }
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    uint64_t length = std::filesystem::file_size(path, ec);
    if (!in || ec) {
        result.error = "Cannot open the file " + path.string() + ".";
        return result;
    }
    result.fileLength = length;
    if (length > sectionSize && !wholeImage) {
        result.error = kFileTooLongText;
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace pelorin
