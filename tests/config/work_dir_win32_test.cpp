// The Windows working tree: the private per-user folder, instance folders held by their lock,
// and links inside the tree removed as entries, never followed.
#include <windows.h>
// windows.h first: the security header needs its types.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include "config/file_io.h"
#include "config/work_dir.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteText;

TEST(PrivateUserDirWin32, OneFolderPerUserBelowTheGivenBase) {
    TempDir base;
    const auto first = PrivateUserDir(base.Path().string().c_str());
    ASSERT_TRUE(first.error.empty()) << first.error;
    EXPECT_EQ(first.path.parent_path(), base.Path());
    EXPECT_EQ(first.path.filename().wstring().rfind(L"pelorin-S-1-", 0), 0u);
    EXPECT_TRUE(fs::is_directory(first.path));
    const auto again = PrivateUserDir(base.Path().string().c_str());
    EXPECT_EQ(again.path, first.path);
    // Without a base: the user's temporary folder.
    const auto fallback = PrivateUserDir(nullptr);
    ASSERT_TRUE(fallback.error.empty()) << fallback.error;
    EXPECT_EQ(fallback.path.filename(), first.path.filename());
}

TEST(WorkDirWin32, InstancesAreHeldAndEndedOnesSwept) {
    TempDir user;
    std::string error;
    auto first = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(first) << error;
    auto second = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(second) << error;
    EXPECT_NE(first->Paths().tempDir, second->Paths().tempDir);
    ASSERT_TRUE(ResetWorkTree(first->Paths()));
    WriteText(first->Paths().layoutPath, "[Main]\n");

    // A held instance survives a third start; an ended one (its lock free) is swept.
    const fs::path ended = user / "run-1-ended";
    fs::create_directories(ended / "_res_tmp");
    WriteText(ended / ".lock", "");
    WriteText(ended / "_res_tmp" / "x", "left over");
    auto third = WorkDir::Open(user.Path(), &error);
    ASSERT_TRUE(third) << error;
    EXPECT_FALSE(fs::exists(ended));
    EXPECT_TRUE(fs::exists(first->Paths().layoutPath));

    // An instance with nothing left but its lock removes itself.
    const fs::path secondDir = second->Paths().tempDir;
    second.reset();
    EXPECT_FALSE(fs::exists(secondDir));
    CleanUpWorkFiles(first->Paths(), true);
    EXPECT_FALSE(fs::exists(first->Paths().outerDir));
}

TEST(WorkDirWin32, LinksAreRemovedNotFollowed) {
    TempDir dir;
    fs::create_directories(dir / "outside");
    WriteText(dir / "outside" / "keep.txt", "keep");
    fs::create_directories(dir / "tree" / "sub");
    WriteText(dir / "tree" / "sub" / "f.txt", "x");
    if (!CreateSymbolicLinkW(
            (dir / "tree" / "link").c_str(), (dir / "outside").c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "this system does not let the user create symbolic links";
    EXPECT_TRUE(DeleteTree(dir / "tree"));
    EXPECT_FALSE(fs::exists(dir / "tree"));
    EXPECT_TRUE(fs::exists(dir / "outside" / "keep.txt"));

    // A link planted where a working file goes is replaced by a new file of ours.
    ASSERT_TRUE(CreateSymbolicLinkW((dir / "planted").c_str(),
                                    (dir / "outside" / "keep.txt").c_str(),
                                    SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE));
    std::string error;
    auto out = OutFile::CreateReplacing(dir / "planted", &error);
    ASSERT_TRUE(out) << error;
    const uint8_t bytes[] = {'n', 'e', 'w'};
    EXPECT_TRUE(out->Write(bytes));
    EXPECT_TRUE(out->Close());
    EXPECT_EQ(testing::ReadText(dir / "outside" / "keep.txt"), "keep");
    EXPECT_EQ(testing::ReadText(dir / "planted"), "new");
}

// The access list as text; empty when it cannot be read.
std::string AccessOf(const fs::path& path) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return {};
    char* text = nullptr;
    std::string access;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(
            sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        access = text;
    LocalFree(text);
    LocalFree(sd);
    return access;
}

TEST(OutFileWin32, NewFilesAreTheUsersAloneAndNeverReplaceAnything) {
    TempDir dir;
    std::string error;
    auto file = OutFile::CreateNew(dir / "dump.bin", &error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(file->Close());
    EXPECT_FALSE(OutFile::CreateNew(dir / "dump.bin", &error));

    // Nobody but the user (and the system) may open it, whatever the folder allows.
    const std::string access = AccessOf(dir / "dump.bin");
    ASSERT_FALSE(access.empty());
    for (const char* others : {";;;WD)", ";;;BU)", ";;;AU)", ";;;BG)"})
        EXPECT_EQ(access.find(others), std::string::npos) << access;
}

}  // namespace
}  // namespace pelorin
