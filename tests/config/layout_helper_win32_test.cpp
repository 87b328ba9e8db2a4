// The layout helper on Windows, as the tool uses it: written out from the stored copy, it waits
// for the running program to end, then gives the program file the saved layout text, and on
// "restore" takes it away again.
#include <windows.h>

#include <gtest/gtest.h>

#include "config/default_layout.h"
#include "config/layout_file.h"
#include "config/layout_helper_blob.h"
#include "config/layout_trailer.h"
#include "config/work_dir.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteText;

// How long a helper that must wait is watched for ending too early.
constexpr DWORD kMustStillWaitMs = 300;
// Bounds a wait that should end long before; never a measure of speed.
constexpr DWORD kHangGuardMs = 30000;

struct Child {
    HANDLE process = nullptr;
    HANDLE input = nullptr;  // the writing end of the child's standard input, if it has one
};

// Starts `commandLine`; with `withInput`, the child reads a pipe until `input` is closed.
Child Start(const std::wstring& commandLine, bool withInput) {
    Child child;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    HANDLE readEnd = nullptr;
    if (withInput) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        EXPECT_TRUE(CreatePipe(&readEnd, &child.input, &sa, 0));
        SetHandleInformation(child.input, HANDLE_FLAG_INHERIT, 0);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = readEnd;
        si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, withInput, 0, nullptr,
                               nullptr, &si, &pi));
    if (readEnd) CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    child.process = pi.hProcess;
    return child;
}

DWORD ExitCode(HANDLE process) {
    EXPECT_EQ(WaitForSingleObject(process, kHangGuardMs), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
}

std::wstring Quoted(const std::filesystem::path& p) {
    return L"\"" + p.wstring() + L"\"";
}

TEST(LayoutHelperWin32, SaveWaitsForTheProgramThenRestoreTakesTheTextAway) {
    TempDir dir;
    const auto program = dir / "pelorin-program.exe";
    std::filesystem::copy_file(PELORIN_TEST_PROGRAM_PATH, program);
    const auto original = ReadBytes(program);
    const auto helper = dir / kLayoutHelperName;
    std::string error;
    ASSERT_TRUE(WriteLayoutHelper(helper, &error)) << error;
    EXPECT_EQ(ReadBytes(helper), ReadBytes(PELORIN_LAYOUT_HELPER_PATH));

    const std::string text = "[Main]\r\nSegNumber=1\r\nSeg0=All\r\n[All]\r\nStartAddr=0x0\r\n";
    WriteText(SavedLayoutTextPath(dir.Path()), text);
    Child running = Start(Quoted(program), true);
    Child save = Start(Quoted(helper) + L" " + Quoted(program), false);
    // While the program runs, the helper waits and the file stays as it is.
    EXPECT_EQ(WaitForSingleObject(save.process, kMustStillWaitMs), WAIT_TIMEOUT)
        << "the helper did not wait";
    EXPECT_EQ(ReadBytes(program), original);
    CloseHandle(running.input);
    EXPECT_EQ(ExitCode(running.process), 0u);
    EXPECT_EQ(ExitCode(save.process), 0u);

    auto trailer = ReadLayoutTrailer(program);
    ASSERT_TRUE(trailer.has_value());
    EXPECT_EQ(trailer->text, text);
    EXPECT_EQ(trailer->textOffset, original.size());

    // The program still runs with its layout, and restore gives back the built file.
    Child again = Start(Quoted(program), true);
    CloseHandle(again.input);
    EXPECT_EQ(ExitCode(again.process), 0u);
    Child restore = Start(Quoted(helper) + L" " + Quoted(program) + L" restore", false);
    EXPECT_EQ(ExitCode(restore.process), 0u);
    EXPECT_FALSE(ReadLayoutTrailer(program).has_value());
    EXPECT_EQ(ReadBytes(program), original);
    EXPECT_EQ(LayoutTextOf(program), DefaultLayoutText());

    // A program path that names nothing changes nothing and fails.
    Child missing = Start(Quoted(helper) + L" " + Quoted(dir / "missing.exe"), false);
    EXPECT_NE(ExitCode(missing.process), 0u);
}

}  // namespace
}  // namespace pelorin
