// The built-in target images and their replacement from a folder of the vendor's files.
#include "session/target_images.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "resources/embedded_files.h"

namespace pelorin {
namespace {

std::string BootImageFileName(unsigned imageNumber) {
    return "bootloader" + std::to_string(imageNumber) + ".bin";
}

const char* DramImageFileName(ChipFamily family) {
    return family == ChipFamily::BigEndian ? "dram-big-endian.bin" : "dram-little-endian.bin";
}

std::vector<uint8_t> BuiltIn(std::string_view name) {
    std::span<const uint8_t> bytes = EmbeddedFileBytes(name);
    return {bytes.begin(), bytes.end()};
}

// One file the folder may hold, where its contents go, and how large it may be.
struct Slot {
    std::string name;
    std::vector<uint8_t>* target;
    unsigned maxBytes;
};

// Reads `path` when it exists. Returns false with `error` set when it exists but cannot be
// used; `bytes` stays empty when there is no such file.
bool ReadImageFile(const std::filesystem::path& path, unsigned maxBytes,
                   std::optional<std::vector<uint8_t>>& bytes, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = path.string() + " is not a regular file";
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = path.string() + ": " + ec.message();
        return false;
    }
    if (size == 0) {
        error = path.string() + " is empty";
        return false;
    }
    if (size > maxBytes) {
        error = path.string() + " is " + std::to_string(size) + " bytes, more than the " +
                std::to_string(maxBytes) + " bytes allowed for it";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size))) {
        error = path.string() + " could not be read";
        return false;
    }
    bytes = std::move(data);
    return true;
}

}  // namespace

TargetImages::TargetImages() {
    for (unsigned n = 1; n <= kBootImageCount; ++n) boot_[n - 1] = BuiltIn(BootImageFileName(n));
    dramBig_ = BuiltIn(DramImageFileName(ChipFamily::BigEndian));
    dramLittle_ = BuiltIn(DramImageFileName(ChipFamily::LittleEndian));
}

bool TargetImages::LoadOverrides(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        error = "image folder " + folder.string() + " is not a directory";
        return false;
    }
    std::vector<Slot> slots;
    for (unsigned n = 1; n <= kBootImageCount; ++n)
        slots.push_back({BootImageFileName(n), &boot_[n - 1], kMaxBootImageBytes});
    slots.push_back({DramImageFileName(ChipFamily::BigEndian), &dramBig_, kMaxAnnouncedBytes});
    slots.push_back(
        {DramImageFileName(ChipFamily::LittleEndian), &dramLittle_, kMaxAnnouncedBytes});

    // Read and check every file first: one bad file leaves the whole set as it was.
    std::vector<std::optional<std::vector<uint8_t>>> found(slots.size());
    bool any = false;
    for (size_t i = 0; i < slots.size(); ++i) {
        if (!ReadImageFile(folder / slots[i].name, slots[i].maxBytes, found[i], error))
            return false;
        any = any || found[i].has_value();
    }
    if (!any) {
        error = "image folder " + folder.string() +
                " holds none of bootloader1.bin .. bootloader10.bin, dram-big-endian.bin, "
                "dram-little-endian.bin";
        return false;
    }
    for (size_t i = 0; i < slots.size(); ++i)
        if (found[i]) *slots[i].target = std::move(*found[i]);
    return true;
}

std::span<const uint8_t> TargetImages::BootImage(unsigned imageNumber) const {
    if (imageNumber < 1 || imageNumber > kBootImageCount) return {};
    return boot_[imageNumber - 1];
}

std::span<const uint8_t> TargetImages::DramImage(ChipFamily family) const {
    return family == ChipFamily::BigEndian ? dramBig_ : dramLittle_;
}

}  // namespace pelorin
