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

using namespace testing;

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
    TempDir dir_;
    std::filesystem::path program_;
    std::filesystem::path helper_;
    std::vector<uint8_t> original_;
};

// The helper waits for the running program to end before it replaces it; a second save
// replaces the text instead of adding one more, and a restore gives the program back as built.
TEST_F(LayoutHelperTest, SaveAndRestoreReplaceTheProgramOnceItEnds) {
    const struct { const char* word; std::string saved; } steps[] = {
        {nullptr, "[Main]\r\nSegNumber=1\r\nSeg0=All\r\n[All]\r\nStartAddr=0x0\r\n"},
        {nullptr, "[Main]\r\n"},
        {kRestoreWord, ""}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.saved);
        if (step.word == nullptr) WriteText(SavedLayoutTextPath(dir_.Path()), step.saved);
        const auto before = ReadBytes(program_);
        int input = -1;
        pid_t running = Start({program_.string()}, &input);
        std::vector<std::string> argv = {helper_.string(), program_.string()};
        if (step.word) argv.push_back(step.word);
        pid_t helper = Start(argv);
        // While the program runs, the helper waits and the file stays as it is.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        int status = 0;
        EXPECT_EQ(::waitpid(helper, &status, WNOHANG), 0) << "the helper did not wait";
        EXPECT_EQ(ReadBytes(program_), before);
        ::close(input);
        EXPECT_EQ(ExitCode(running), 0);
        EXPECT_EQ(ExitCode(helper), 0);

        const auto now = ReadBytes(program_);
        ASSERT_GE(now.size(), original_.size());
        EXPECT_TRUE(std::equal(original_.begin(), original_.end(), now.begin()));
        auto trailer = ReadLayoutTrailer(program_);
        EXPECT_EQ(trailer ? trailer->text : "none", step.word ? "none" : step.saved);
        EXPECT_EQ(now.size(), original_.size() + (trailer ? step.saved.size() + 8 : 0));
        EXPECT_EQ(std::filesystem::status(program_).permissions(), std::filesystem::perms(0755));
        running = Start({program_.string()}, &input);  // and it still starts and ends normally
        ::close(input);
        EXPECT_EQ(ExitCode(running), 0);
    }
    EXPECT_EQ(LayoutTextOf(program_), DefaultLayoutText());
}

// Wrong arguments or no saved text: the program is left alone, nothing half-written beside it.
TEST_F(LayoutHelperTest, FailuresChangeNothing) {
    const std::string h = helper_.string(), p = program_.string();
    for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
             {h}, {h, p, "other"}, {h, (dir_ / "missing").string()}, {h, p}}) {
        EXPECT_NE(ExitCode(Start(argv)), 0) << argv.size();
        EXPECT_EQ(ReadBytes(program_), original_);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 2);
    }
}

}  // namespace
}  // namespace pelorin
