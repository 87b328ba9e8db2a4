// The layout helper as the tool uses it: written out from the tool's stored copy, started with
// a program path, saving and restoring the layout of a real program file, also while that
// program still runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/default_layout.h"
#include "config/layout_file.h"
#include "config/layout_helper_blob.h"
#include "config/layout_trailer.h"
#include "config/work_dir.h"
#include "temp_dir.h"

extern char** environ;

namespace pelorin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteText;

// Starts `argv`; with `stdinWrite` given, the child's input is a pipe whose writing end is
// returned there.
pid_t Start(std::vector<std::string> argv, int* stdinWrite = nullptr) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (stdinWrite) {
        // Close-on-exec, so that no other child keeps the program's input open.
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    if (stdinWrite) {
        ::close(fds[0]);
        *stdinWrite = fds[1];
    }
    return pid;
}

int ExitCode(pid_t pid) {
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat st;
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

class LayoutHelperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program_ = dir_ / "pelorin-program";
        std::filesystem::copy_file(PELORIN_TEST_PROGRAM_PATH, program_);
        ::chmod(program_.c_str(), 0755);
        original_ = ReadBytes(program_);
        helper_ = dir_ / kLayoutHelperName;
        std::string error;
        ASSERT_TRUE(WriteLayoutHelper(helper_, &error)) << error;
    }
    int RunHelper(bool restore) {
        std::vector<std::string> argv = {helper_.string(), program_.string()};
        if (restore) argv.push_back(kRestoreWord);
        return ExitCode(Start(argv));
    }
    // The program still starts and ends normally.
    void ExpectProgramRuns() {
        int input = -1;
        pid_t pid = Start({program_.string()}, &input);
        ::close(input);
        EXPECT_EQ(ExitCode(pid), 0);
    }

    TempDir dir_;
    std::filesystem::path program_;
    std::filesystem::path helper_;
    std::vector<uint8_t> original_;
};

TEST_F(LayoutHelperTest, WrittenHelperIsTheBuiltProgramWithItsRunBit) {
    auto built = ReadBytes(PELORIN_LAYOUT_HELPER_PATH);
    EXPECT_EQ(ReadBytes(helper_), built);
    EXPECT_EQ(ModeOf(helper_) & 0100, 0100u);
    auto stored = StoredLayoutHelper();
    ASSERT_EQ(stored.size(), built.size());
    ASSERT_GT(built.size(), kHelperComplementedBytes);
    for (size_t i = 0; i < kHelperComplementedBytes; ++i)
        ASSERT_EQ(stored[i], static_cast<uint8_t>(~built[i])) << i;
    EXPECT_EQ(stored[kHelperComplementedBytes], built[kHelperComplementedBytes]);
    // Writing again gives the same file.
    ASSERT_TRUE(WriteLayoutHelper(helper_));
    EXPECT_EQ(ReadBytes(helper_), built);
}

TEST_F(LayoutHelperTest, BuiltProgramCarriesNoLayout) {
    EXPECT_FALSE(ReadLayoutTrailer(program_).has_value());
    EXPECT_EQ(LayoutTextOf(program_), DefaultLayoutText());
}

TEST_F(LayoutHelperTest, SaveWaitsForTheProgramThenAppendsTheText) {
    const std::string text = "[Main]\r\nSegNumber=1\r\nSeg0=All\r\n[All]\r\nStartAddr=0x0\r\n";
    WriteText(SavedLayoutTextPath(dir_.Path()), text);

    int input = -1;
    pid_t running = Start({program_.string()}, &input);
    pid_t helper = Start({helper_.string(), program_.string()});
    // While the program runs, the helper waits and the file stays as it is.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(::waitpid(helper, &status, WNOHANG), 0) << "the helper did not wait";
    EXPECT_EQ(ReadBytes(program_), original_);

    ::close(input);
    EXPECT_EQ(ExitCode(running), 0);
    EXPECT_EQ(ExitCode(helper), 0);

    auto trailer = ReadLayoutTrailer(program_);
    ASSERT_TRUE(trailer.has_value());
    EXPECT_EQ(trailer->text, text);
    EXPECT_EQ(trailer->textOffset, original_.size());
    auto now = ReadBytes(program_);
    EXPECT_TRUE(std::equal(original_.begin(), original_.end(), now.begin()));
    EXPECT_EQ(ModeOf(program_), 0755u);
    ExpectProgramRuns();

    // A second save replaces the text instead of adding one more.
    WriteText(SavedLayoutTextPath(dir_.Path()), "[Main]\r\n");
    EXPECT_EQ(RunHelper(false), 0);
    trailer = ReadLayoutTrailer(program_);
    ASSERT_TRUE(trailer.has_value());
    EXPECT_EQ(trailer->text, "[Main]\r\n");
    EXPECT_EQ(std::filesystem::file_size(program_), original_.size() + 8 + 8);
}

TEST_F(LayoutHelperTest, RestoreLeavesNoValidLayout) {
    WriteText(SavedLayoutTextPath(dir_.Path()), "[Main]\r\nSegNumber=0\r\n");
    ASSERT_EQ(RunHelper(false), 0);
    ASSERT_TRUE(ReadLayoutTrailer(program_).has_value());

    int input = -1;
    pid_t running = Start({program_.string()}, &input);
    pid_t helper = Start({helper_.string(), program_.string(), kRestoreWord});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::close(input);
    EXPECT_EQ(ExitCode(running), 0);
    EXPECT_EQ(ExitCode(helper), 0);

    EXPECT_FALSE(ReadLayoutTrailer(program_).has_value());
    EXPECT_EQ(ReadBytes(program_), original_);
    EXPECT_EQ(LayoutTextOf(program_), DefaultLayoutText());
    EXPECT_EQ(ModeOf(program_), 0755u);
    ExpectProgramRuns();
}

TEST_F(LayoutHelperTest, MissingSavedTextLeavesTheProgramAlone) {
    EXPECT_NE(RunHelper(false), 0);
    EXPECT_EQ(ReadBytes(program_), original_);
    // Nothing half-written is left beside it either.
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir_.Path())) ++entries;
    EXPECT_EQ(entries, 2u);  // the program and the helper
}

TEST_F(LayoutHelperTest, WrongArgumentsChangeNothing) {
    EXPECT_NE(ExitCode(Start({helper_.string()})), 0);
    EXPECT_NE(ExitCode(Start({helper_.string(), program_.string(), "other"})), 0);
    EXPECT_NE(ExitCode(Start({helper_.string(), (dir_ / "missing").string()})), 0);
    EXPECT_EQ(ReadBytes(program_), original_);
}

}  // namespace
}  // namespace pelorin
