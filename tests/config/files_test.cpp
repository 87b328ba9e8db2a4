// Working directories, the download file checks and the prepared data file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "config/data_prep.h"
#include "config/image_check.h"
#include "config/work_dir.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using testing::WriteText;

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat st;
    EXPECT_EQ(::lstat(path.c_str(), &st), 0);
    return st.st_mode;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& gz) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 16 + MAX_WBITS), Z_OK);
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(1 << 16);
    zs.next_in = const_cast<uint8_t*>(gz.data());
    zs.avail_in = static_cast<uInt>(gz.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = buffer.data();
        zs.avail_out = static_cast<uInt>(buffer.size());
        rc = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buffer.data(), buffer.data() + (buffer.size() - zs.avail_out));
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(zs.avail_in, 0u) << "bytes after the one member";
    inflateEnd(&zs);
    return out;
}

std::vector<uint8_t> Image(size_t size, bool signature) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(7);
    for (auto& b : bytes) b = static_cast<uint8_t>(random() % 16);  // compressible, not trivial
    if (signature && size >= 8) {
        const uint8_t head[8] = {0xAA, 0x55, 0xAA, 0x55, 0x30, 0x01, 0x55, 0xAA};
        std::copy(head, head + 8, bytes.begin());
    }
    return bytes;
}

// ---- whole-flash image and download file checks

TEST(WholeFlashImage, LengthMustExceed64KiB) {
    TempDir dir;
    WriteBytes(dir / "a", Image(65536, true));
    WriteBytes(dir / "b", Image(65537, true));
    EXPECT_FALSE(IsWholeFlashImage(dir / "a"));
    EXPECT_TRUE(IsWholeFlashImage(dir / "b"));
    WriteBytes(dir / "c", Image(65537, false));
    EXPECT_FALSE(IsWholeFlashImage(dir / "c"));
}

TEST(WholeFlashImage, EitherWordMarksTheImage) {
    std::vector<uint8_t> head = {0xAA, 0x55, 0xAA, 0x55, 1, 2, 3, 4};
    EXPECT_TRUE(HasWholeFlashSignature(head, 70000));
    head = {9, 9, 9, 9, 0x61, 0x21, 0x55, 0xAA};
    EXPECT_TRUE(HasWholeFlashSignature(head, 70000));
    head = {9, 9, 9, 9, 0x30, 0x01, 0x55, 0xAA};
    EXPECT_TRUE(HasWholeFlashSignature(head, 70000));
    head = {0x55, 0xAA, 0x55, 0xAA, 0xAA, 0x55, 0x30, 0x01};  // the words in the wrong order
    EXPECT_FALSE(HasWholeFlashSignature(head, 70000));
}

TEST(WholeFlashImage, FilesUnderEightBytesNeverQualify) {
    TempDir dir;
    WriteBytes(dir / "short", {0xAA, 0x55, 0xAA, 0x55, 0x30, 0x01, 0x55});
    EXPECT_FALSE(IsWholeFlashImage(dir / "short"));
    // A short file leaves the second word 0 even when the length were large.
    std::vector<uint8_t> head = {0xAA, 0x55, 0xAA};
    EXPECT_FALSE(HasWholeFlashSignature(head, 1 << 20));
    auto missing = CheckFlashImage(dir / "missing");
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.wholeImage);
    EXPECT_FALSE(missing.error.empty());
}

TEST(DownloadFileCheck, LengthAgainstTheSectionUnlessWholeImage) {
    TempDir dir;
    WriteBytes(dir / "f", std::vector<uint8_t>(0x800, 1));
    EXPECT_TRUE(CheckDownloadFile(dir / "f", 0x800, false).ok);
    auto longer = CheckDownloadFile(dir / "f", 0x7FF, false);
    EXPECT_FALSE(longer.ok);
    EXPECT_EQ(longer.error, "File length out of the segment size!");
    EXPECT_TRUE(CheckDownloadFile(dir / "f", 0x7FF, true).ok);
    EXPECT_EQ(CheckDownloadFile("", 0x800, false).error, "Please choose to download files!");
    auto missing = CheckDownloadFile(dir / "missing", 0x800, false);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("missing"), std::string::npos);
}

// ---- working directories

TEST(PrivateUserDir, OwnPrivateTmpdirIsUsedAsIs) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0700);
    auto result = PrivateUserDir(dir.Path().c_str());
    EXPECT_TRUE(result.error.empty()) << result.error;
    EXPECT_EQ(result.path, dir.Path());
}

TEST(PrivateUserDir, SharedTmpdirGetsAPrivateDirectoryBelowIt) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 01777);
    auto result = PrivateUserDir(dir.Path().c_str());
    ASSERT_TRUE(result.error.empty()) << result.error;
    EXPECT_EQ(result.path, dir / ("pelorin-" + std::to_string(::getuid())));
    EXPECT_EQ(ModeOf(result.path) & 07777, 0700u);
    // An existing one that others could enter is made private again.
    ::chmod(result.path.c_str(), 0755);
    result = PrivateUserDir(dir.Path().c_str());
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(ModeOf(result.path) & 07777, 0700u);
}

TEST(PrivateUserDir, PlantedLinkIsRefused) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 01777);
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::create_directory_symlink(dir / "elsewhere",
                                              dir / ("pelorin-" + std::to_string(::getuid())));
    auto result = PrivateUserDir(dir.Path().c_str());
    EXPECT_FALSE(result.error.empty());
    EXPECT_TRUE(result.path.empty());
}

TEST(WorkDir, PathsAndNames) {
    WorkPaths paths = WorkPathsFor("/t/run");
    EXPECT_EQ(paths.layoutPath, "/t/run/_res_tmp/_res_tmp/_Kestrun.tmp");
    EXPECT_EQ(paths.dataFilePath, "/t/run/_res_tmp/_res_tmp/_downloadres.tmp");
    EXPECT_EQ(paths.helperPath, "/t/run/_tmp_command.exe");
    EXPECT_EQ(SavedLayoutTextPath("/opt/pelorin"), "/opt/pelorin/_tmp_flash.txt");
}

TEST(WorkDir, TwoInstancesKeepTheirOwnFiles) {
    TempDir user;
    std::string error;
    auto first = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(first) << error;
    ASSERT_TRUE(ResetWorkTree(first->Paths()));
    WriteText(first->Paths().layoutPath, "first");

    auto second = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(second) << error;
    ASSERT_TRUE(ResetWorkTree(second->Paths()));
    EXPECT_NE(first->Paths().tempDir, second->Paths().tempDir);
    EXPECT_TRUE(std::filesystem::exists(first->Paths().layoutPath));

    CleanUpWorkFiles(second->Paths(), true);
    second.reset();
    EXPECT_EQ(testing::ReadText(first->Paths().layoutPath), "first");
}

TEST(WorkDir, EndedInstancesAreSweptAndAnEmptyOneRemovesItself) {
    TempDir user;
    std::string error;
    std::filesystem::path kept;
    {
        auto ended = WorkDir::Open(user.Path(), &error);
        ASSERT_TRUE(ended);
        ResetWorkTree(ended->Paths());
        WriteText(ended->Paths().helperPath, "helper");  // left for a helper after the end
        CleanUpWorkFiles(ended->Paths(), false);
        kept = ended->Paths().tempDir;
    }
    EXPECT_TRUE(std::filesystem::exists(kept / "_tmp_command.exe"));
    EXPECT_FALSE(std::filesystem::exists(kept / "_res_tmp"));

    auto next = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(next);
    EXPECT_FALSE(std::filesystem::exists(kept));
    auto mine = next->Paths().tempDir;
    next.reset();
    EXPECT_FALSE(std::filesystem::exists(mine));
}

TEST(DeleteTree, RemovesEverythingButNeverFollowsLinks) {
    TempDir dir;
    std::filesystem::create_directories(dir / "outside/sub");
    WriteText(dir / "outside/keep.txt", "keep");
    WriteText(dir / "outside/sub/keep2.txt", "keep");
    std::filesystem::create_directories(dir / "tree/a/b");
    WriteText(dir / "tree/a/b/file", "x");
    WriteText(dir / "tree/top", "x");
    std::filesystem::create_directory_symlink(dir / "outside", dir / "tree/a/linkdir");
    std::filesystem::create_symlink(dir / "outside/keep.txt", dir / "tree/linkfile");

    EXPECT_TRUE(DeleteTree(dir / "tree/"));
    EXPECT_FALSE(std::filesystem::exists(dir / "tree"));
    EXPECT_TRUE(std::filesystem::exists(dir / "outside/keep.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "outside/sub/keep2.txt"));

    // A link in the tree's own place is removed, its target left alone.
    std::filesystem::create_directory_symlink(dir / "outside", dir / "tree");
    EXPECT_FALSE(DeleteTree(dir / "tree"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "tree"));
    EXPECT_TRUE(std::filesystem::exists(dir / "outside/sub/keep2.txt"));
    EXPECT_FALSE(DeleteTree(dir / "missing"));
}

TEST(WorkDir, PlantedLinksInTheTreeAreReplacedNotFollowed) {
    TempDir dir;
    std::filesystem::create_directory(dir / "victim");
    WorkPaths paths = WorkPathsFor(dir / "run");
    std::filesystem::create_directories(paths.outerDir);
    std::filesystem::create_directory_symlink(dir / "victim", paths.innerDir);
    ASSERT_TRUE(ResetWorkTree(paths));
    EXPECT_FALSE(std::filesystem::is_symlink(paths.innerDir));
    EXPECT_TRUE(std::filesystem::is_directory(paths.innerDir));

    // A link at the prepared file's place: the preparation replaces it instead of writing
    // through it.
    WriteText(dir / "victim/target", "untouched");
    std::filesystem::create_symlink(dir / "victim/target", paths.dataFilePath.string() + ".gz");
    WriteBytes(dir / "input", {1, 2, 3, 4, 5, 6, 7, 8, 9});
    auto prepared = PrepareDataFile(paths, {dir / "input", false, 0, 100});
    EXPECT_TRUE(prepared.ok) << prepared.error;
    EXPECT_EQ(testing::ReadText(dir / "victim/target"), "untouched");
}

// ---- the prepared data file

class PrepareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        paths_ = WorkPathsFor(dir_ / "run");
        std::filesystem::create_directory(paths_.tempDir);
        ASSERT_TRUE(ResetWorkTree(paths_));
    }
    PreparedData Prepare(const std::vector<uint8_t>& file, bool whole, uint32_t start,
                         uint32_t size) {
        WriteBytes(dir_ / "input.bin", file);
        return PrepareDataFile(paths_, {dir_ / "input.bin", whole, start, size});
    }
    TempDir dir_;
    WorkPaths paths_;
};

TEST_F(PrepareTest, WholeImageGivesTheChosenSection) {
    auto image = Image(0x200000, true);
    auto prepared = Prepare(image, true, 0x10000, 0x120000);
    ASSERT_TRUE(prepared.ok) << prepared.error;
    EXPECT_EQ(prepared.dataFilePath, paths_.dataFilePath);
    EXPECT_EQ(Inflate(ReadBytes(paths_.dataFilePath)),
              std::vector<uint8_t>(image.begin() + 0x10000, image.begin() + 0x130000));
    EXPECT_EQ(prepared.dataBytes, 0x120000u);
    EXPECT_EQ(prepared.preparedBytes, std::filesystem::file_size(paths_.dataFilePath));
    EXPECT_FALSE(std::filesystem::exists(paths_.dataFilePath.string() + ".gz"));
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 8, prepared.hardwareInfo.begin()));
}

TEST_F(PrepareTest, ImageEndingInsideTheSectionIsCutAtItsEnd) {
    auto image = Image(0x140000, true);
    auto prepared = Prepare(image, true, 0x130000, 0x20000);
    ASSERT_TRUE(prepared.ok);
    EXPECT_EQ(Inflate(ReadBytes(paths_.dataFilePath)),
              std::vector<uint8_t>(image.begin() + 0x130000, image.end()));
}

TEST_F(PrepareTest, ImageShorterThanTheStartIsSentWhole) {
    auto image = Image(0x20000, true);
    auto prepared = Prepare(image, true, 0x30000, 0x10000);
    ASSERT_TRUE(prepared.ok);
    EXPECT_EQ(Inflate(ReadBytes(paths_.dataFilePath)), image);
}

TEST_F(PrepareTest, PlainFileIsSentWholeWithItsModificationTime) {
    auto file = Image(0x30000, false);
    WriteBytes(dir_ / "input.bin", file);
    const uint32_t mtime = 1234567890;  // 2009-02-13
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir_ / "input.bin").c_str(), times, 0), 0);
    auto prepared = PrepareDataFile(paths_, {dir_ / "input.bin", false, 0x10000, 0x10});
    ASSERT_TRUE(prepared.ok);
    auto gz = ReadBytes(paths_.dataFilePath);
    EXPECT_EQ(Inflate(gz), file);

    std::vector<uint8_t> header = {0x1F, 0x8B, 0x08, 0x08, 0xD2, 0x02, 0x96, 0x49, 0x00, 0x0B};
    std::string name = "_downloadres.tmp";
    header.insert(header.end(), name.begin(), name.end());
    header.push_back(0);
    ASSERT_GE(gz.size(), header.size());
    EXPECT_EQ(std::vector<uint8_t>(gz.begin(), gz.begin() + header.size()), header);
    EXPECT_EQ(prepared.mtime, mtime);
    // CRC-32 and length of the data close the member.
    uint32_t crc = static_cast<uint32_t>(crc32(0, file.data(), static_cast<uInt>(file.size())));
    auto le32 = [&](size_t at) {
        return gz[at] | gz[at + 1] << 8 | gz[at + 2] << 16 |
               static_cast<uint32_t>(gz[at + 3]) << 24;
    };
    EXPECT_EQ(le32(gz.size() - 8), crc);
    EXPECT_EQ(le32(gz.size() - 4), file.size());
}

TEST_F(PrepareTest, CutSectionHeaderCarriesTheTimeOfWriting) {
    auto before = static_cast<uint32_t>(::time(nullptr));
    auto prepared = Prepare(Image(0x20000, true), true, 0x100, 0x100);
    ASSERT_TRUE(prepared.ok);
    auto gz = ReadBytes(paths_.dataFilePath);
    uint32_t mtime = gz[4] | gz[5] << 8 | gz[6] << 16 | static_cast<uint32_t>(gz[7]) << 24;
    EXPECT_GE(mtime, before);
    EXPECT_EQ(gz[8], 0);
    EXPECT_EQ(gz[9], 11);
}

TEST_F(PrepareTest, ShortFileFillsOnlyItsOwnLengthOfHardwareInfo) {
    auto prepared = Prepare({1, 2, 3}, false, 0, 100);
    ASSERT_TRUE(prepared.ok);
    EXPECT_EQ(prepared.hardwareInfoLength, 3u);
    std::array<uint8_t, 8> earlier = {9, 9, 9, 9, 9, 9, 9, 9};
    std::array<uint8_t, 8> expected = {1, 2, 3, 9, 9, 9, 9, 9};
    EXPECT_EQ(prepared.HardwareInfoOver(earlier), expected);
    EXPECT_EQ(Inflate(ReadBytes(paths_.dataFilePath)), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(PrepareTest, EachPreparationStartsFromScratch) {
    ASSERT_TRUE(Prepare(Image(5000, false), false, 0, 10000).ok);
    WriteText(paths_.dataFilePath.string() + ".gz", "stale");
    auto second = Prepare({4, 5, 6, 7, 8, 9, 10, 11, 12}, false, 0, 10000);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(Inflate(ReadBytes(paths_.dataFilePath)),
              (std::vector<uint8_t>{4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_FALSE(std::filesystem::exists(paths_.dataFilePath.string() + ".gz"));
    // Even a removed tree is made again.
    DeleteTree(paths_.outerDir);
    EXPECT_TRUE(Prepare({1}, false, 0, 10).ok);
}

TEST_F(PrepareTest, MissingFileIsReportedNotSent) {
    auto prepared = PrepareDataFile(paths_, {dir_ / "missing", false, 0, 10});
    EXPECT_FALSE(prepared.ok);
    EXPECT_FALSE(prepared.error.empty());
    EXPECT_FALSE(std::filesystem::exists(paths_.dataFilePath));
}

TEST_F(PrepareTest, DataThatCannotBeAnnouncedIsRefused) {
    // Random bytes do not compress: 16 MiB of them give a member beyond 3 length bytes.
    std::vector<uint8_t> noise(kMaxAnnouncedBytes + 1);
    std::mt19937 random(1);
    for (size_t i = 0; i + 4 <= noise.size(); i += 4) {
        uint32_t v = static_cast<uint32_t>(random());
        std::memcpy(&noise[i], &v, 4);
    }
    auto prepared = Prepare(noise, false, 0, UINT32_MAX);
    EXPECT_FALSE(prepared.ok);
    EXPECT_NE(prepared.error.find("16 MiB"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(paths_.dataFilePath));
    EXPECT_FALSE(std::filesystem::exists(paths_.dataFilePath.string() + ".gz"));
}

TEST_F(PrepareTest, MemberLimitIsTheFirstLengthThatCannotBeSent) {
    auto data = Image(50000, false);
    WriteBytes(dir_ / "data", data);
    auto member = [&](uint64_t limit, uint64_t* size) {
        std::ifstream in(dir_ / "data", std::ios::binary);
        auto out = OutFile::CreateReplacing(dir_ / "member.gz", nullptr);
        EXPECT_TRUE(out.has_value());
        return WriteGzipMember(in, data.size(), *out, {}, limit, size, nullptr);
    };
    uint64_t size = 0;
    ASSERT_TRUE(member(UINT64_MAX, &size));
    uint64_t again = 0;
    EXPECT_TRUE(member(size + 1, &again));
    EXPECT_EQ(again, size);
    EXPECT_FALSE(member(size, &again));
}

TEST_F(PrepareTest, CleanUpLeavesNoWorkingTree) {
    ASSERT_TRUE(Prepare(Image(100, false), false, 0, 1000).ok);
    WriteText(paths_.layoutPath, "layout");
    CleanUpWorkFiles(paths_, true);
    EXPECT_FALSE(std::filesystem::exists(paths_.outerDir));
}

}  // namespace
}  // namespace pelorin
