// The built-in target images keep the properties the target relies on; a folder of real
// images replaces them only when every file fits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <set>

#include "session/boot_block.h"
#include "session/chip_types.h"
#include "session/target_images.h"

namespace pelorin {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToVector(std::span<const uint8_t> s) {
    return {s.begin(), s.end()};
}

TEST(BuiltInImages, SizesLeadInsAndTails) {
    TargetImages images;
    const Bytes bigLeadIn = {0x10, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Bytes littleLeadIn = {0x04, 0xD0, 0x9F, 0xE5};
    std::set<Bytes> distinct;
    for (unsigned n = 1; n <= kBootImageCount; ++n) {
        SCOPED_TRACE(n);
        const Bytes image = ToVector(images.BootImage(n));
        distinct.insert(image);
        ASSERT_EQ(image.size(), kBootImageSizes[n - 1]);
        EXPECT_LE(image.size(), kMaxBootImageBytes);  // leaves the header's place free
        if (n >= 9) {
            EXPECT_EQ(Bytes(image.begin(), image.begin() + 4), littleLeadIn);
            continue;
        }
        EXPECT_EQ(Bytes(image.begin(), image.begin() + 16), bigLeadIn);
        EXPECT_NE(image[16] | image[17] | image[18] | image[19], 0) << "program text starts at 16";
        const auto lastNonZero =
            std::find_if(image.rbegin(), image.rend(), [](uint8_t b) { return b; });
        const auto trailingZeros = lastNonZero - image.rbegin();
        EXPECT_GE(trailingZeros, 2);
        EXPECT_LE(trailingZeros, 16);
    }
    EXPECT_EQ(distinct.size(), kBootImageCount);
    EXPECT_TRUE(images.BootImage(0).empty());
    EXPECT_TRUE(images.BootImage(11).empty());
    // Images 9 and 10 differ in six bytes only: the boot ROM must still tell them apart.
    auto a = images.BootImage(9), b = images.BootImage(10);
    EXPECT_EQ(
        std::inner_product(a.begin(), a.end(), b.begin(), 0, std::plus<>(), std::not_equal_to<>()),
        6);

    auto big = images.DramImage(ChipFamily::BigEndian);
    auto little = images.DramImage(ChipFamily::LittleEndian);
    ASSERT_EQ(big.size(), kBigEndianDramImageSize);
    ASSERT_EQ(little.size(), kLittleEndianDramImageSize);
    EXPECT_EQ(Bytes(big.begin(), big.begin() + 4), (Bytes{0x80, 0x00, 0x00, 0x10}));
    EXPECT_EQ(Bytes(little.begin(), little.begin() + 4), littleLeadIn);
}

// Replacements are all-or-nothing: one file that does not fit leaves every image as it was.
TEST(ImageOverrides, AFolderReplacesOnlyWhenEveryFileFits) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("pelorin-images-" + std::to_string(::getpid()));
    struct File {
        std::string name;
        size_t size;
    };
    struct Case {
        const char* name;
        std::vector<File> files;
        const char* error;
    };
    const Case cases[] = {
        {"good",
         {{"bootloader5.bin", 1600},
          {"dram-little-endian.bin", 30000},
          {"bootloader1.bin", kMaxBootImageBytes},
          {"unrelated.txt", 3}},
         nullptr},
        {"boot image over its limit",
         {{"bootloader1.bin", 1000}, {"bootloader7.bin", kMaxBootImageBytes + 1}},
         "bootloader7.bin is 2017 bytes, more than the 2016"},
        {"DRAM image too long to announce",
         {{"dram-big-endian.bin", kMaxAnnouncedBytes + 1}},
         "dram-big-endian.bin"},
        {"empty file", {{"bootloader9.bin", 0}}, "bootloader9.bin is empty"},
        {"no image file", {{"unrelated.txt", 3}}, "holds none of"},
        {"missing folder", {}, "absent is not a directory"},
    };
    const TargetImages original;
    const Bytes bigDram = ToVector(original.DramImage(ChipFamily::BigEndian));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const File& f : c.files)
            std::ofstream(dir / f.name, std::ios::binary)
                << std::string(f.size, char(0x11 + f.size % 7));
        TargetImages images;
        std::string error;
        const bool ok = images.LoadOverrides(c.files.empty() ? dir / "absent" : dir, error);
        EXPECT_EQ(ok, c.error == nullptr) << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            for (unsigned n = 1; n <= kBootImageCount; ++n)
                EXPECT_EQ(ToVector(images.BootImage(n)), ToVector(original.BootImage(n))) << n;
            EXPECT_EQ(ToVector(images.DramImage(ChipFamily::BigEndian)), bigDram);
            continue;
        }
        const Bytes boot5(1600, 0x11 + 1600 % 7);
        EXPECT_EQ(ToVector(images.BootImage(5)), boot5);
        EXPECT_EQ(images.BootImage(1).size(), kMaxBootImageBytes);
        EXPECT_EQ(images.DramImage(ChipFamily::LittleEndian).size(), 30000u);
        EXPECT_EQ(ToVector(images.BootImage(2)), ToVector(original.BootImage(2)));
        EXPECT_EQ(ToVector(images.DramImage(ChipFamily::BigEndian)), bigDram);
        ChipImageTable table;  // the boot block of a chip with image 5 carries the replacement
        table.Fill(images);
        EXPECT_EQ(ToVector(table.ImageFor(8)), boot5);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace pelorin
