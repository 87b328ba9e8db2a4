// The layout helper as the tool uses it: written out from the tool's stored copy, started with
// a program path, saving and restoring the layout of a real program file, also while that
// program still runs.
#include <poll.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/default_layout.h"
#include "config/layout_file.h"
#include "config/layout_handover.h"
#include "config/layout_helper_blob.h"
#include "config/layout_trailer.h"
#include "config/program_start.h"
#include "config/work_dir.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

using namespace testing;

// The exit status of a command started with popen.
int ExitCode(FILE* command) {
    const int status = ::pclose(command);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LayoutHelperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(PELORIN_TEST_PROGRAM_PATH, program_);
        ::chmod(program_.c_str(), 0755);
        original_ = ReadBytes(program_);
        std::string error;
        ASSERT_TRUE(WriteLayoutHelper(helper_, &error)) << error;
    }
    // The helper's command line: the helper, then `args`.
    std::string Helper(const std::string& args) { return "'" + helper_.string() + "' " + args; }

    TempDir dir_;
    const std::filesystem::path program_ = dir_ / "pelorin-program";
    const std::filesystem::path helper_ = dir_ / kLayoutHelperName;
    std::vector<uint8_t> original_;
};

// The helper waits for the running program to end before it replaces it; a second save
// replaces the text instead of adding one more, and a restore gives the program back as built.
TEST_F(LayoutHelperTest, SaveAndRestoreReplaceTheProgramOnceItEnds) {
    const struct {
        const char* word;
        std::string saved;
    } steps[] = {{"", "[Main]\r\nSegNumber=1\r\nSeg0=All\r\n[All]\r\nStartAddr=0x0\r\n"},
                 {"", "[Main]\r\n"},
                 {kRestoreWord, ""}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.saved);
        if (*step.word == 0) WriteText(SavedLayoutTextPath(dir_.Path()), step.saved);
        const auto before = ReadBytes(program_);
        // The program runs until its input closes; the helper's output ends when it does.
        const std::filesystem::path ready = dir_ / "running";
        std::filesystem::remove(ready);
        FILE* running =
            ::popen(("'" + program_.string() + "' '" + ready.string() + "'").c_str(), "w");
        ASSERT_TRUE(running);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!std::filesystem::exists(ready) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        FILE* helper = ::popen(Helper("'" + program_.string() + "' " + step.word).c_str(), "r");
        ASSERT_TRUE(helper);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pollfd output{::fileno(helper), POLLIN, 0};
        EXPECT_EQ(::poll(&output, 1, 0), 0) << "the helper did not wait";
        EXPECT_EQ(ReadBytes(program_), before);
        EXPECT_EQ(ExitCode(running), 0);
        EXPECT_EQ(ExitCode(helper), 0);

        const auto now = ReadBytes(program_);
        ASSERT_GE(now.size(), original_.size());
        EXPECT_TRUE(std::equal(original_.begin(), original_.end(), now.begin()));
        auto trailer = ReadLayoutTrailer(program_);
        EXPECT_EQ(trailer ? trailer->text : "none", *step.word ? "none" : step.saved);
        EXPECT_EQ(now.size(), original_.size() + (trailer ? step.saved.size() + 8 : 0));
        running = ::popen(("'" + program_.string() + "'").c_str(), "w");
        EXPECT_EQ(ExitCode(running), 0) << "the program still starts and ends normally";
    }
    EXPECT_EQ(LayoutTextOf(program_), DefaultLayoutText());
}

// Wrong arguments or no saved text: the program is left alone, nothing half-written beside it.
TEST_F(LayoutHelperTest, FailuresChangeNothing) {
    const std::string program = "'" + program_.string() + "'";
    for (const std::string& args :
         {std::string(), program + " other", (dir_ / "missing").string(), program}) {
        EXPECT_NE(ExitCode(::popen(Helper(args).c_str(), "r")), 0) << args;
        EXPECT_EQ(ReadBytes(program_), original_);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 2);
    }
}

// The tool's half: what it writes before it ends, and the helper started from the exact command
// line, in folders with blanks in their names.
TEST(LayoutHandOver, WritesWhatTheHelperNeedsAndStartsIt) {
    TempDir dir;
    const std::filesystem::path folder = dir / "bench tools";
    std::filesystem::create_directory(folder);
    const HandOverPaths paths{folder / "pelorin", dir / "run one" / kLayoutHelperName};
    std::filesystem::create_directory(paths.helperPath.parent_path());
    std::filesystem::copy_file(PELORIN_TEST_PROGRAM_PATH, paths.programPath);
    const std::string line = HelperCommandLine(paths, false);
    EXPECT_EQ(line, "\"" + paths.helperPath.string() + "\" \"" + paths.programPath.string() + "\"");
    EXPECT_EQ(SplitCommandLine(HelperCommandLine(paths, true)),
              (std::vector<std::string>{paths.helperPath.string(), paths.programPath.string(),
                                        kRestoreWord}));
    EXPECT_EQ(WithCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");

    std::string error;
    const std::string text = "[Main]\r\nSegNumber=1\r\nSeg0=Bench\r\n";
    ASSERT_TRUE(PrepareLayoutSave(paths, text, &error)) << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2)
        << "the program and the saved text, no probe left";
    ASSERT_TRUE(StartProgram(line, &error)) << error;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ReadLayoutTrailer(paths.programPath) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto trailer = ReadLayoutTrailer(paths.programPath);
    EXPECT_EQ(trailer ? trailer->text : "none", text);

    EXPECT_FALSE(StartProgram("\"" + (dir / "no helper").string() + "\"", &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

// Nothing is left behind when the helper could not do its job, and the operator is told why.
TEST(LayoutHandOver, RefusesWhatTheHelperCouldNotDo) {
    TempDir dir;
    const std::filesystem::path helper = dir / kLayoutHelperName;
    const struct {
        HandOverPaths paths;
        const char* why;
    } cases[] = {
        {{dir / "gone" / "pelorin", helper}, "cannot be rewritten: No such file"},
        {{dir / "odd\"name" / "pelorin", helper}, "double quote"},
        {{dir / "pelorin", ""}, "no working folder"},
        {{dir / "pelorin", dir / "gone" / kLayoutHelperName}, "gone"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(PrepareLayoutSave(c.paths, "[Main]\r\n", &error));
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        EXPECT_FALSE(PrepareLayoutRestore(c.paths, &error));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0) << c.why;
    }
}

}  // namespace
}  // namespace pelorin
