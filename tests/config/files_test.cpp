// Working directories, the download file checks and the prepared data file.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "config/data_prep.h"
#include "config/image_check.h"
#include "config/work_dir.h"
#include "sim/gzip_member.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using Bytes = std::vector<uint8_t>;

Bytes Image(size_t size, bool signature) {
    Bytes bytes(size);
    std::mt19937 random(7);
    for (auto& b : bytes) b = static_cast<uint8_t>(random() % 16);  // compressible, not trivial
    const uint8_t head[8] = {0xAA, 0x55, 0xAA, 0x55, 0x30, 0x01, 0x55, 0xAA};
    if (signature) std::copy(head, head + std::min<size_t>(8, size), bytes.begin());
    return bytes;
}

// A whole-flash image exceeds 64 KiB and starts with either word; the words swapped, or cut
// short, do not mark one.
TEST(DownloadFile, WholeFlashImageBounds) {
    EXPECT_FALSE(HasWholeFlashSignature(Bytes{0x55, 0xAA, 0x55, 0xAA, 0xAA, 0x55, 0x30, 1}, 70000));
    EXPECT_FALSE(HasWholeFlashSignature(Bytes{0xAA, 0x55, 0xAA}, 1 << 20));
    TempDir dir;
    WriteBytes(dir / "64k", Image(65536, true));
    WriteBytes(dir / "64k+1", Image(65537, true));
    WriteBytes(dir / "short", {0xAA, 0x55, 0xAA, 0x55, 0x30, 0x01, 0x55});
    EXPECT_FALSE(IsWholeFlashImage(dir / "64k"));
    EXPECT_TRUE(IsWholeFlashImage(dir / "64k+1"));
    EXPECT_FALSE(IsWholeFlashImage(dir / "short"));
}

const std::string kUserName = "pelorin-" + std::to_string(::getuid());

bool IsPrivate(const fs::path& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && (st.st_mode & (S_IFMT | 07777)) == (S_IFDIR | 0700);
}

// A runtime directory that is relative, a link or open to others does not count; nor does a
// shared TMPDIR.
TEST(PrivateUserDir, OnlyAPrivateRuntimeDirOrTmpdirIsTakenAsIs) {
    TempDir runtime, tmp;  // both private, as made
    EXPECT_EQ(PrivateUserDir(runtime.Path().c_str(), tmp.Path().c_str()).path, runtime / "pelorin");
    EXPECT_TRUE(IsPrivate(runtime / "pelorin")) << runtime / "pelorin";
    EXPECT_EQ(PrivateUserDir(nullptr, tmp.Path().c_str()).path, tmp.Path());
    ::chmod(tmp.Path().c_str(), 01777);
    fs::create_directory_symlink(runtime.Path(), tmp / "link");
    const std::string relative = fs::relative(runtime.Path()).string();
    const std::string link = (tmp / "link").string();
    for (const char* bad : {relative.c_str(), link.c_str(), ""})
        EXPECT_EQ(PrivateUserDir(bad, tmp.Path().c_str()).path, tmp / kUserName) << bad;
    ::chmod(runtime.Path().c_str(), 0750);
    EXPECT_EQ(PrivateUserDir(runtime.Path().c_str(), tmp.Path().c_str()).path, tmp / kUserName);
    EXPECT_TRUE(IsPrivate(tmp / kUserName)) << tmp / kUserName;
}

// Whatever squats on the name (a link, a file, an open or a foreign directory), the tool gets
// a private folder beside it, leaves the name as it found it, and takes that folder again.
TEST(PrivateUserDir, NameSquattedGivesAPrivateFolderBesideIt) {
    TempDir link, file, open, foreign;
    fs::create_directory(link / "elsewhere");
    fs::create_directory_symlink(link / "elsewhere", link / kUserName);
    WriteText(file / kUserName, "x");
    fs::create_directory(open / kUserName);
    ::chmod((open / kUserName).c_str(), 0777);
    std::vector<const TempDir*> squatted = {&link, &file, &open};
    fs::create_directory(foreign / kUserName);
    if (::geteuid() == 0 && ::chown((foreign / kUserName).c_str(), 65534, 65534) == 0)
        squatted.push_back(&foreign);  // another user's directory needs root to make
    for (const TempDir* dir : squatted) {
        const fs::path& tmp = dir->Path();
        SCOPED_TRACE(tmp);
        ::chmod(tmp.c_str(), 01777);
        const auto before = fs::symlink_status(tmp / kUserName);
        auto result = PrivateUserDir(nullptr, tmp.c_str());
        ASSERT_EQ(result.error, "");
        EXPECT_EQ(result.path.parent_path(), tmp);
        EXPECT_EQ(result.path.filename().string().rfind(kUserName + "-", 0), 0u);
        EXPECT_TRUE(IsPrivate(result.path)) << result.path;
        EXPECT_EQ(fs::symlink_status(tmp / kUserName).type(), before.type());
        EXPECT_EQ(fs::symlink_status(tmp / kUserName).permissions(), before.permissions());
        EXPECT_EQ(PrivateUserDir(nullptr, tmp.c_str()).path, result.path);
        EXPECT_TRUE(WorkDir::Open(result.path, nullptr));
    }
    EXPECT_TRUE(fs::is_empty(link / "elsewhere"));
}

TEST(WorkDir, FailedLockLeavesNoDirectoryBehind) {
    TempDir user;
    // No descriptor left: the new directory is made, its lock file cannot be.
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    ::close(probe);
    rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit tight = {static_cast<rlim_t>(probe), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::string error;
    auto work = WorkDir::Open(user.Path(), &error);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_FALSE(work);
    EXPECT_NE(error.find(".lock"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(user.Path()));
}

// Instances keep their own trees; an ended one removes its own. What a killed one leaves is
// swept; a running one, one still being set up, and whatever a link points at are left alone.
// Links planted in or at a working tree are removed or replaced, never followed.
TEST(WorkDir, InstancesAndTheSweepOfKilledRunsFollowNoLink) {
    TempDir user, outside;
    WriteText(outside / ".lock", "");
    WriteText(outside / "keep", "keep");
    std::string error;
    auto running = WorkDir::Open(user.Path(), &error);
    auto ending = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(running && ending) << error;
    const WorkPaths& paths = running->Paths();
    fs::create_directories(paths.outerDir);
    fs::create_directory_symlink(outside.Path(), paths.innerDir);
    ASSERT_TRUE(ResetWorkTree(paths) && ResetWorkTree(ending->Paths()));
    EXPECT_FALSE(fs::is_symlink(paths.innerDir));
    fs::create_symlink(outside / "keep", paths.dataFilePath.string() + ".gz");
    WriteBytes(paths.tempDir / "input", {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_TRUE(PrepareDataFile(paths, {paths.tempDir / "input", false, 0, 100}).ok);
    WriteText(paths.layoutPath, "running");
    WriteText(ending->Paths().dataFilePath.string() + ".gz", "gz");
    CleanUpWorkFiles(ending->Paths(), true);
    EXPECT_FALSE(fs::exists(ending->Paths().outerDir));
    const fs::path endingDir = ending->Paths().tempDir;
    ending.reset();
    EXPECT_FALSE(fs::exists(endingDir));

    const pid_t child = ::fork();
    if (child == 0) {
        auto killed = WorkDir::Open(user.Path(), nullptr);
        if (killed && ResetWorkTree(killed->Paths())) {
            WriteText(killed->Paths().layoutPath, "layout");
            fs::create_directory_symlink(outside.Path(), killed->Paths().innerDir / "link");
            fs::create_symlink(outside / "keep", killed->Paths().innerDir / "file");
        }
        ::raise(SIGKILL);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    fs::create_directory(user / "run-1-settingup");
    fs::create_directory_symlink(outside.Path(), user / "run-2-link");
    WriteText(user / "run-3-file", "");

    EXPECT_EQ(SweepEndedRuns(user.Path()), 1u);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(user.Path()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{paths.tempDir.filename().string(), "run-1-settingup",
                                           "run-2-link", "run-3-file"}));
    EXPECT_FALSE(DeleteTree(user / "run-2-link")) << "a link in a tree's own place is removed";
    EXPECT_FALSE(fs::is_symlink(user / "run-2-link"));
    EXPECT_EQ(ReadText(paths.layoutPath), "running");
    EXPECT_EQ(ReadText(outside / "keep"), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.Path()), {}), 2)
        << "nothing outside the trees removed or added";
}

class PrepareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(paths_.tempDir);
        ASSERT_TRUE(ResetWorkTree(paths_));
    }
    PreparedData Prepare(const Bytes& file, bool whole, uint32_t start, uint32_t size) {
        WriteBytes(dir_ / "input.bin", file);
        const timespec times[2] = {{kMtime, 0}, {kMtime, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, (dir_ / "input.bin").c_str(), times, 0), 0);
        return PrepareDataFile(paths_, {dir_ / "input.bin", whole, start, size});
    }
    static constexpr uint32_t kMtime = 1234567890;  // 2009-02-13
    TempDir dir_;
    WorkPaths paths_ = WorkPathsFor(dir_ / "run");
};

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The member sent to the board: its header, name, time and trailer byte for byte as the classic
// gzip writes them, and the section of a whole image, else the file whole.
TEST_F(PrepareTest, MemberOfTheSectionOfAWholeImageElseOfTheFileWhole) {
    const struct {
        const char* what;
        size_t fileSize;
        bool whole;
        uint32_t start, size;
        size_t from, to;  // the bytes of the file that are sent
    } cases[] = {
        {"image ending inside the section", 0x140000, true, 0x130000, 0x20000, 0x130000, 0x140000},
        {"image shorter than the start", 0x20000, true, 0x30000, 0x10000, 0, 0x20000},
        {"plain file", 0x30000, false, 0x10000, 0x10, 0, 0x30000},
        {"file under 8 bytes", 3, false, 0, 100, 0, 3},
    };
    const auto before = static_cast<uint32_t>(::time(nullptr));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes file = Image(c.fileSize, c.whole);
        WriteText(paths_.dataFilePath.string() + ".gz", "stale");
        auto prepared = Prepare(file, c.whole, c.start, c.size);
        ASSERT_TRUE(prepared.ok) << prepared.error;
        EXPECT_FALSE(fs::exists(paths_.dataFilePath.string() + ".gz"));
        const Bytes gz = ReadBytes(paths_.dataFilePath);
        const Bytes sent(file.begin() + c.from, file.begin() + c.to);
        Bytes inflated;
        std::string error;
        EXPECT_TRUE(sim::InflateGzipMember(gz, SIZE_MAX, inflated, error));
        EXPECT_EQ(inflated, sent);
        EXPECT_EQ(prepared.dataBytes, sent.size());
        EXPECT_EQ(prepared.preparedBytes, gz.size());
        std::string header("\x1F\x8B\x08\x08\xD2\x02\x96\x49\x00\x0B_downloadres.tmp", 27);
        if (sent.size() < file.size()) {  // a section cut out is a new file, of its own time
            EXPECT_GE(Le32(gz, 4), before);
            std::copy_n(gz.begin() + 4, 4, header.begin() + 4);
        }
        ASSERT_GE(gz.size(), header.size());
        EXPECT_EQ(std::string(gz.begin(), gz.begin() + 27), header);
        EXPECT_EQ(Le32(gz, gz.size() - 8),
                  static_cast<uint32_t>(crc32(0, sent.data(), static_cast<uInt>(sent.size()))));
        EXPECT_EQ(Le32(gz, gz.size() - 4), sent.size());
        // The hardware version is the file's first bytes; a short file leaves the rest as it was.
        HardwareInfo expected = {9, 9, 9, 9, 9, 9, 9, 9};
        std::copy_n(file.begin(), std::min<size_t>(8, c.fileSize), expected.begin());
        EXPECT_EQ(prepared.HardwareInfoOver({9, 9, 9, 9, 9, 9, 9, 9}), expected);
    }
    auto missing = PrepareDataFile(paths_, {dir_ / "missing", false, 0, 10});
    EXPECT_FALSE(missing.ok || missing.error.empty());
    EXPECT_FALSE(fs::exists(paths_.dataFilePath));
    DeleteTree(paths_.outerDir);
    EXPECT_TRUE(Prepare({1}, false, 0, 10).ok) << "the tree is made again";
}

// A member must stay below 16 MiB, since its length travels in three bytes.
TEST_F(PrepareTest, MemberOfSixteenMiBOrMoreIsRefused) {
    const Bytes data = Image(50000, false);
    WriteBytes(dir_ / "data", data);
    auto member = [&](uint64_t limit, uint64_t* size) {
        std::ifstream in(dir_ / "data", std::ios::binary);
        auto out = OutFile::CreateReplacing(dir_ / "member.gz", nullptr);
        return out && WriteGzipMember(in, data.size(), *out, {}, limit, size, nullptr);
    };
    uint64_t size = 0, again = 0;
    ASSERT_TRUE(member(UINT64_MAX, &size));
    EXPECT_TRUE(member(size + 1, &again));
    EXPECT_EQ(again, size);
    EXPECT_FALSE(member(size, &again)) << "the limit is the first length that cannot be sent";
    // Random bytes do not compress: 16 MiB of them give a member beyond the limit.
    Bytes noise(kMaxAnnouncedBytes + 1);
    std::mt19937 random(1);
    for (auto& b : noise) b = static_cast<uint8_t>(random() >> 24);
    auto prepared = Prepare(noise, false, 0, UINT32_MAX);
    EXPECT_NE(prepared.error.find("16 MiB"), std::string::npos);
    EXPECT_FALSE(fs::exists(paths_.dataFilePath));
    EXPECT_FALSE(fs::exists(paths_.dataFilePath.string() + ".gz"));
}

}  // namespace
}  // namespace pelorin
