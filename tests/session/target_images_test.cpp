// The built-in target images keep the properties the target relies on; a folder of real
// images replaces them only when every file fits.
#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "session/boot_block.h"
#include "session/chip_types.h"
#include "session/target_images.h"

namespace pelorin {
namespace {

std::vector<uint8_t> ToVector(std::span<const uint8_t> s) {
    return {s.begin(), s.end()};
}

bool IsBigEndianImage(unsigned imageNumber) {
    return imageNumber <= 8;
}

TEST(BuiltInImages, BootImagesHaveTheirSizes) {
    TargetImages images;
    for (unsigned n = 1; n <= kBootImageCount; ++n) {
        EXPECT_EQ(images.BootImage(n).size(), kBootImageSizes[n - 1]) << "image " << n;
        EXPECT_LE(images.BootImage(n).size(), kMaxBootImageBytes) << "image " << n;
    }
    EXPECT_TRUE(images.BootImage(0).empty());
    EXPECT_TRUE(images.BootImage(11).empty());
}

TEST(BuiltInImages, DramImagesHaveTheirSizesAndFirstBytes) {
    TargetImages images;
    auto big = images.DramImage(ChipFamily::BigEndian);
    auto little = images.DramImage(ChipFamily::LittleEndian);
    ASSERT_EQ(big.size(), kBigEndianDramImageSize);
    ASSERT_EQ(little.size(), kLittleEndianDramImageSize);
    const std::vector<uint8_t> bigLeadIn = {0x80, 0x00, 0x00, 0x10, 0, 0, 0, 0,
                                            0,    0,    0,    0,    0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(big.begin(), big.begin() + 16), bigLeadIn);
    EXPECT_NE(big[16] | big[17] | big[18] | big[19], 0) << "program text starts at 16";
    EXPECT_EQ(std::vector<uint8_t>(little.begin(), little.begin() + 4),
              (std::vector<uint8_t>{0x04, 0xD0, 0x9F, 0xE5}));
}

TEST(BuiltInImages, BigEndianImagesHaveLeadInAndTrailingZeros) {
    TargetImages images;
    const std::vector<uint8_t> leadIn = {0x10, 0x00, 0x00, 0x10, 0, 0, 0, 0,
                                         0,    0,    0,    0,    0, 0, 0, 0};
    for (unsigned n = 1; n <= 8; ++n) {
        auto image = images.BootImage(n);
        ASSERT_GE(image.size(), 32u);
        EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 16), leadIn) << n;
        EXPECT_NE(image[16] | image[17] | image[18] | image[19], 0) << n;
        auto lastNonZero = std::find_if(image.rbegin(), image.rend(), [](uint8_t b) { return b; });
        const auto trailingZeros = lastNonZero - image.rbegin();
        EXPECT_GE(trailingZeros, 2) << "image " << n << " must end in a few zero bytes";
        EXPECT_LE(trailingZeros, 16) << "image " << n;
    }
}

TEST(BuiltInImages, LittleEndianImagesStartWithProgramText) {
    TargetImages images;
    for (unsigned n : {9u, 10u}) {
        auto image = images.BootImage(n);
        EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 4),
                  (std::vector<uint8_t>{0x04, 0xD0, 0x9F, 0xE5}))
            << n;
    }
}

TEST(BuiltInImages, ImagesNineAndTenDifferInExactlySixBytes) {
    TargetImages images;
    auto a = images.BootImage(9);
    auto b = images.BootImage(10);
    ASSERT_EQ(a.size(), b.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
    EXPECT_EQ(differing, 6u);
}

TEST(BuiltInImages, DistinctImageNumbersHoldDistinctImages) {
    TargetImages images;
    std::set<std::vector<uint8_t>> distinct;
    for (unsigned n = 1; n <= kBootImageCount; ++n) distinct.insert(ToVector(images.BootImage(n)));
    EXPECT_EQ(distinct.size(), kBootImageCount);
    for (unsigned n = 1; n <= kBootImageCount; ++n)
        EXPECT_EQ(IsBigEndianImage(n), images.BootImage(n)[0] == 0x10) << n;
}

TEST(BuiltInImages, ChipsWithTheSameImageNumberGetTheSameBootBlockImage) {
    TargetImages images;
    ChipImageTable table;
    table.Fill(images);
    auto imageInBlock = [&](uint8_t code) {
        SessionHeader header;
        header.chipCode = code;
        auto block = BuildBootBlock(table, header);
        EXPECT_TRUE(block.has_value()) << int(code);
        if (!block) return std::vector<uint8_t>{};
        auto size = table.ImageFor(code).size();
        return std::vector<uint8_t>(block->begin(), block->begin() + static_cast<long>(size));
    };
    EXPECT_EQ(imageInBlock(2), imageInBlock(3));
    EXPECT_EQ(imageInBlock(7), imageInBlock(8));
    EXPECT_EQ(table.ImageFor(2).data(), table.ImageFor(3).data()) << "one shared entry";
    EXPECT_EQ(table.ImageFor(7).data(), table.ImageFor(8).data()) << "one shared entry";
    EXPECT_NE(imageInBlock(4), imageInBlock(5));
    for (const ChipType& chip : kChipTypes) {
        EXPECT_EQ(ToVector(table.ImageFor(chip.code)), ToVector(images.BootImage(chip.bootImage)))
            << chip.name;
        EXPECT_EQ(table.ImageFor(chip.code).size(), kBootImageSizes[chip.bootImage - 1]);
    }
    EXPECT_TRUE(table.ImageFor(17).empty());
}

// A scratch folder removed at the end of the test.
class ImageOverrides : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("pelorin-images-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }

    std::filesystem::path dir_;
};

TEST_F(ImageOverrides, GoodFolderReplacesOnlyTheImagesItHolds) {
    TargetImages images;
    const auto builtIn2 = ToVector(images.BootImage(2));
    const std::vector<uint8_t> boot5(1600, 0x11);
    const std::vector<uint8_t> dramLittle(30000, 0x22);
    Write("bootloader5.bin", boot5);
    Write("dram-little-endian.bin", dramLittle);
    Write("unrelated.txt", {1, 2, 3});
    std::string error;
    ASSERT_TRUE(images.LoadOverrides(dir_, error)) << error;
    EXPECT_EQ(ToVector(images.BootImage(5)), boot5);
    EXPECT_EQ(ToVector(images.DramImage(ChipFamily::LittleEndian)), dramLittle);
    EXPECT_EQ(ToVector(images.BootImage(2)), builtIn2);
    EXPECT_EQ(images.DramImage(ChipFamily::BigEndian).size(), kBigEndianDramImageSize);

    // The boot block carries the replacement.
    ChipImageTable table;
    table.Fill(images);
    SessionHeader header;
    header.chipCode = 8;
    auto block = BuildBootBlock(table, header);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(std::vector<uint8_t>(block->begin(), block->begin() + 1600), boot5);
}

TEST_F(ImageOverrides, BootImageAtTheLimitIsTaken) {
    TargetImages images;
    Write("bootloader1.bin", std::vector<uint8_t>(kMaxBootImageBytes, 0x33));
    std::string error;
    EXPECT_TRUE(images.LoadOverrides(dir_, error)) << error;
    EXPECT_EQ(images.BootImage(1).size(), kMaxBootImageBytes);
}

TEST_F(ImageOverrides, OversizedBootImageIsRefusedAndNothingReplaced) {
    TargetImages images;
    const TargetImages original;
    Write("bootloader1.bin", std::vector<uint8_t>(1000, 0x44));
    Write("bootloader7.bin", std::vector<uint8_t>(kMaxBootImageBytes + 1, 0x55));
    std::string error;
    EXPECT_FALSE(images.LoadOverrides(dir_, error));
    EXPECT_NE(error.find("bootloader7.bin"), std::string::npos) << error;
    EXPECT_NE(error.find(std::to_string(kMaxBootImageBytes)), std::string::npos) << error;
    for (unsigned n = 1; n <= kBootImageCount; ++n)
        EXPECT_EQ(ToVector(images.BootImage(n)), ToVector(original.BootImage(n))) << n;
}

TEST_F(ImageOverrides, DramImageTooLongToAnnounceIsRefused) {
    TargetImages images;
    Write("dram-big-endian.bin", std::vector<uint8_t>(kMaxAnnouncedBytes + 1, 0x66));
    std::string error;
    EXPECT_FALSE(images.LoadOverrides(dir_, error));
    EXPECT_NE(error.find("dram-big-endian.bin"), std::string::npos) << error;
    EXPECT_EQ(images.DramImage(ChipFamily::BigEndian).size(), kBigEndianDramImageSize);
}

TEST_F(ImageOverrides, EmptyFileIsRefused) {
    TargetImages images;
    Write("bootloader9.bin", {});
    std::string error;
    EXPECT_FALSE(images.LoadOverrides(dir_, error));
    EXPECT_NE(error.find("bootloader9.bin"), std::string::npos) << error;
    EXPECT_EQ(images.BootImage(9).size(), 936u);
}

TEST_F(ImageOverrides, MissingOrEmptyFolderIsRefused) {
    TargetImages images;
    std::string error;
    EXPECT_FALSE(images.LoadOverrides(dir_ / "absent", error));
    EXPECT_NE(error.find("absent"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(images.LoadOverrides(dir_, error)) << "a folder without any image file";
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace pelorin
