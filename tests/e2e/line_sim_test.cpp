// The production line: pelorin-cli with several ports, --repeat, --verify and --log against
// several pelorin-sim boards on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "config/board_log.h"
#include "config/csv.h"
#include "config/sha256.h"
#include "sim/firmware_image.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::vector<std::string>>;

constexpr uint32_t kLogoStart = 0x130000;
constexpr uint32_t kLogoSize = 0x8000;
// Columns of the log.
enum Column {
    kTime,
    kPort,
    kDevice,
    kOperation,
    kChip,
    kCrystal,
    kSection,
    kFile,
    kSha256,
    kWireBytes,
    kSeconds,
    kResult,
    kMessage,
    kVerify,
    kVerifyDetail,
    kHardwareVersion,
    kAdapterSerial,
    kAdapterById,
    kStation,
    kEnd,
    kColumns
};

class LineSimTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "pelorin-line-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir = templ;
        // Shorter than the section: the verify also looks at the erased rest.
        image = sim::MakeFirmwareImage(kLogoSize - 0x2000, kLogoSize / 2, 23);
        // Not UTF-8: the log writes the name escaped.
        imagePath = dir / "image\xff.bin";
        std::ofstream(imagePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
        log = dir / "line.csv";
    }
    void TearDown() override {
        for (auto& sim : sims)
            if (sim) {
                sim->Signal(SIGTERM);
                sim->Wait(10s);
            }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Link(size_t i) const { return dir / ("board" + std::to_string(i)); }
    fs::path Flash(size_t i) const { return dir / ("flash" + std::to_string(i) + ".bin"); }
    // Board i, unpaced, with the given faults.
    void StartSim(size_t i, std::vector<std::string> extra = {}) {
        if (sims.size() <= i) sims.resize(i + 1);
        sims[i] = std::make_unique<testing::ChildProcess>();
        std::vector<std::string> argv = {PELORIN_SIM_PATH,  "--link", Link(i).string(), "--flash",
                                         Flash(i).string(), "--pace", "unpaced"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sims[i]->Start(argv));
        for (int n = 0; n < 500 && !fs::exists(Link(i)); ++n) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(Link(i))) << sims[i]->Err();
    }
    std::vector<std::string> Cli(std::vector<std::string> args, const std::string& ports) {
        std::vector<std::string> argv = {PELORIN_CLI_PATH,
                                         "download",
                                         imagePath.string(),
                                         "--section",
                                         section,
                                         "--port",
                                         ports,
                                         "--tick-ms",
                                         "50",
                                         "--give-up",
                                         "20",
                                         "--log",
                                         log.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    std::string LogText() const {
        std::ifstream in(log, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    Rows LogRows() const {
        const std::string text = LogText();
        Rows rows = ParseCsv(text);
        EXPECT_FALSE(rows.empty());
        // One physical line per row.
        EXPECT_EQ(size_t(std::count(text.begin(), text.end(), '\n')), rows.size());
        if (!rows.empty()) {
            EXPECT_EQ(rows.front()[kTime], "time");
        }
        for (const auto& row : rows) EXPECT_EQ(row.size(), size_t(kColumns));
        // Rows of another shape are left out, so that no check reads past one.
        std::erase_if(rows, [](const auto& row) { return row.size() != size_t(kColumns); });
        return rows;
    }
    // The arguments run from the test's folder, where relative port names are looked up.
    std::vector<std::string> InDir(std::vector<std::string> argv) const {
        argv.insert(argv.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir.string()});
        return argv;
    }
    // The image's bytes in board i's flash, written at `start`.
    Bytes FlashLogo(size_t i, uint32_t start = kLogoStart) const {
        std::ifstream in(Flash(i), std::ios::binary);
        const Bytes all((std::istreambuf_iterator<char>(in)), {});
        if (all.size() < start + image.size()) return {};
        return Bytes(all.begin() + start, all.begin() + start + long(image.size()));
    }

    std::string section = "Logo";
    fs::path dir, imagePath, log;
    Bytes image;
    std::vector<std::unique_ptr<testing::ChildProcess>> sims;
};

// Three boards at once: one completes, one vanishes mid-stream, one rejects the hardware
// version. Neither failure disturbs the others; the exit status is the most severe.
TEST_F(LineSimTest, ThreePortsOneVanishingOneRejecting) {
    // Long enough that the vanished board's share is plainly less than what a pseudo-terminal
    // holds between host and board.
    section = "Main Code";
    image = sim::MakeFirmwareImage(512 * 1024, 400 * 1024, 29);
    std::ofstream(imagePath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    StartSim(0);
    StartSim(1, {"--vanish-after", "100000"});
    StartSim(2, {"--reject-hardware"});
    // A port name a spreadsheet would take for a formula.
    fs::create_symlink(Link(0), dir / "=b0");
    testing::ChildProcess cli;
    const std::string ports = "=b0," + Link(1).string() + "," + Link(2).string();
    ASSERT_TRUE(cli.Start(InDir(Cli({}, ports))));
    EXPECT_EQ(cli.Wait(120s), 5) << cli.Err();
    EXPECT_NE(cli.Out().find("=b0: Mission completed"), std::string::npos) << cli.Out();
    EXPECT_NE(cli.Err().find(Link(1).string() + ": Error: The serial device has gone away"),
              std::string::npos)
        << cli.Err();
    EXPECT_NE(cli.Err().find(Link(2).string() + ": Invalid bin file.The hardware version"),
              std::string::npos)
        << cli.Err();
    EXPECT_NE(cli.Err().find(Link(1).string() + ": device-gone"), std::string::npos) << cli.Err();
    EXPECT_NE(cli.Out().find("Exit 5 (transfer-error)"), std::string::npos) << cli.Out();

    const Rows rows = LogRows();
    ASSERT_EQ(rows.size(), 4u);
    const std::string sha = Sha256OfFile(imagePath).value_or("?");
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::map<std::string, std::vector<std::string>> byPort;
    for (size_t i = 1; i < rows.size(); ++i) {
        byPort[rows[i][kPort]] = rows[i];
        EXPECT_EQ(rows[i][kSha256], sha);
        EXPECT_EQ(rows[i][kOperation], "Download");
        EXPECT_EQ(rows[i][kSection], "Main Code");
        EXPECT_EQ(rows[i][kFile], (dir / "image\\xFF.bin").string());
        EXPECT_EQ(rows[i][kTime].size(), 20u) << rows[i][kTime];
        EXPECT_GE(rows[i][kEnd], rows[i][kTime]);
        EXPECT_EQ(rows[i][kStation], host);
        EXPECT_EQ(rows[i][kVerify], "");
    }
    EXPECT_EQ(byPort["'=b0"][kResult], "completed");
    EXPECT_EQ(byPort[Link(1).string()][kResult], "device-gone");
    EXPECT_EQ(byPort[Link(2).string()][kResult], "transfer-error");
    // What left the host for each: the vanished board got part of what the completed one got,
    // the rejected one stopped before the data.
    const auto wire = [&](const std::string& port) {
        return std::stoull(byPort[port][kWireBytes]);
    };
    EXPECT_LT(wire(Link(1).string()), wire("'=b0"));
    EXPECT_LT(wire(Link(2).string()), wire(Link(1).string()));
    // The board that completed holds the file.
    sims[0]->Signal(SIGTERM);
    EXPECT_EQ(sims[0]->Wait(10s), 0);
    sims[0].reset();
    EXPECT_EQ(FlashLogo(0, 0x10000), image);
}

// One port, three boards one after the other: each board is a new simulated board that runs
// one operation and goes (its port with it), as a board swapped with its adapter. Ctrl+C
// during a fourth board ends the line: that board is cancelled, not failed, and the run passes.
TEST_F(LineSimTest, RepeatOverThreeBoardsOnOnePortThenCtrlC) {
    StartSim(0, {"--once"});
    testing::ChildProcess cli;
    ASSERT_TRUE(cli.Start(Cli({"--repeat", "--json"}, Link(0).string())));
    for (int board = 1; board <= 3; ++board) {
        SCOPED_TRACE(board);
        ASSERT_TRUE(cli.WaitForOutput("\"passed\":" + std::to_string(board), 60s)) << cli.Err();
        EXPECT_EQ(sims[0]->Wait(30s), 0);
        StartSim(0, board < 3 ? std::vector<std::string>{"--once"}
                              : std::vector<std::string>{"--once", "--pace", "1"});
    }
    ASSERT_TRUE(cli.WaitForOutput("\"letter\":\"K\"", 60s)) << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(30s), 0) << cli.Err();
    EXPECT_NE(cli.Out().find("\"event\":\"summary\",\"exit\":0,\"outcome\":\"completed\","
                             "\"ports\":[{\"port\":\"" +
                             Link(0).string() +
                             "\",\"passed\":3,\"failed\":0,\"cancelled\":1}],\"passed\":3,"
                             "\"failed\":0,\"cancelled\":1,\"seconds\":"),
              std::string::npos)
        << cli.Out();
    EXPECT_NE(cli.Out().find("\"boardsPerHour\":"), std::string::npos) << cli.Out();
    // A port waiting for its next board shows no error for the adapter that went.
    EXPECT_EQ(cli.Err().find("Error"), std::string::npos) << cli.Err();
    const Rows rows = LogRows();
    ASSERT_EQ(rows.size(), 5u);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(rows[i][kResult], "completed");
        EXPECT_GT(std::stoull(rows[i][kWireBytes]), 2048u);  // the loaders at least
    }
    EXPECT_EQ(rows[4][kResult], "cancelled");
    EXPECT_EQ(rows[4][kMessage], "Cancelled at stage 'K' (Send data...): the flash is as it was.");
}

// --verify reads the section back after a reset: it passes on a good board, whose USB adapter
// goes away for a second as the board resets, and names the first differing offset, with its
// own status, on a board whose flash keeps a wrong byte.
TEST_F(LineSimTest, VerifyPassesAndFailsOnACorruptByte) {
    StartSim(0, {"--reenumerate-ms", "1000"});
    testing::ChildProcess good;
    const std::string sha = Sha256OfFile(imagePath).value_or("?");
    ASSERT_TRUE(good.Start(Cli({"--verify"}, Link(0).string())));
    // The file replaced while the board is verified: the board got, and is compared with,
    // the file as it was read, and the log names that.
    ASSERT_TRUE(good.WaitForOutput("Reset the board to verify", 60s)) << good.Err();
    Bytes other = image;
    for (uint8_t& b : other) b ^= 0x5A;
    std::ofstream(imagePath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(other.data()), std::streamsize(other.size()));
    EXPECT_EQ(good.Wait(120s), 0) << good.Err();
    const std::string tail = "passed; the 8192 bytes after the file are erased (0xFF)";
    EXPECT_NE(good.Out().find(tail), std::string::npos) << good.Out();
    std::ofstream(imagePath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    // Beside a good board, quietly: only the failure and the run's summary are said.
    StartSim(1, {"--corrupt-flash-byte", std::to_string(kLogoStart + 0x123)});
    StartSim(2);
    testing::ChildProcess bad;
    ASSERT_TRUE(bad.Start(Cli({"--verify", "--quiet"}, Link(1).string() + "," + Link(2).string())));
    EXPECT_EQ(bad.Wait(120s), 7) << bad.Err();
    const std::string differs = "differs at offset 0x123 (address 0x130123)";
    EXPECT_NE(bad.Err().find(Link(1).string() + ": Verify failed: " + differs + "\n"),
              std::string::npos)
        << bad.Err();
    EXPECT_EQ(bad.Err().find(differs), bad.Err().rfind(differs)) << bad.Err();
    EXPECT_EQ(bad.Out().rfind("Boards: 1 passed, 1 failed, 0 cancelled in ", 0), 0u) << bad.Out();
    EXPECT_EQ(std::count(bad.Out().begin(), bad.Out().end(), '\n'), 2) << bad.Out();
    EXPECT_NE(bad.Out().find("\nExit 7 (verify-failed)\n"), std::string::npos) << bad.Out();

    Rows rows = LogRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][kResult], "completed");
    EXPECT_EQ(rows[1][kSha256], sha);
    EXPECT_EQ(rows[1][kVerify], "passed");
    EXPECT_EQ(rows[1][kVerifyDetail], tail);
    if (rows[2][kPort] != Link(1).string()) std::swap(rows[2], rows[3]);
    EXPECT_EQ(rows[2][kResult], "verify-failed");
    EXPECT_EQ(rows[2][kVerify], "failed");
    EXPECT_EQ(rows[2][kVerifyDetail], differs);
    EXPECT_EQ(rows[3][kVerify], "passed");
}

// The log is opened and checked before any board is touched: anything but a regular file, the
// download file itself, a folder that is not there, and another user's link are refused with
// the argument status, and the board never sees the port open.
TEST_F(LineSimTest, LogIsCheckedBeforeAnyBoard) {
    StartSim(0);
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::ofstream(dir / "private.csv") << "secret\n";
    fs::create_symlink(dir / "private.csv", dir / "planted.csv");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::lchown((dir / "planted.csv").c_str(), 65534, 65534), 0);
    }
    struct Bad {
        fs::path log;
        const char* says;
    };
    std::vector<Bad> cases = {{dir / "folder", "not a regular file"},
                              {"/dev/null",
                               "not a regular file (a directory, FIFO or device); leave out "
                               "--log to keep no log"},
                              {dir / "fifo", "not a regular file"},
                              {imagePath, "it is the download file"},
                              {dir / "missing" / "line.csv", "No such file or directory"}};
    if (root) cases.push_back({dir / "planted.csv", "it is a symbolic link owned by another user"});
    for (const Bad& b : cases) {
        SCOPED_TRACE(b.log);
        testing::ChildProcess cli;
        ASSERT_TRUE(cli.Start(Cli({"--repeat", "--log", b.log.string()}, Link(0).string())));
        EXPECT_EQ(cli.Wait(30s), 2) << cli.Err();
        EXPECT_NE(cli.Err().find("Can't use the log " + b.log.string() + ": " + b.says),
                  std::string::npos)
            << cli.Err();
    }
    EXPECT_EQ(sims[0]->Out().find("host opened the port"), std::string::npos) << sims[0]->Out();
    std::ifstream in(dir / "private.csv");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "secret\n");
}

// A row that the file cannot take (here a file-size limit) is cut back off, the line stops
// after the board with its own status, and the next run ends the unended last line first.
TEST_F(LineSimTest, RowsStayWholeAndAFailedRowStopsTheLine) {
    StartSim(0);
    std::string before = BoardLogHeader() + "2024-05-01T00:00:00Z,COM9,half";
    before += std::string(64 * 1024 - 100 - before.size(), 'x');
    std::ofstream(log, std::ios::binary) << before;
    std::vector<std::string> limited = {"/bin/bash", "-c", "ulimit -f 64 && exec \"$@\"", "cli"};
    for (const std::string& a : Cli({"--repeat"}, Link(0).string())) limited.push_back(a);
    testing::ChildProcess cli;
    ASSERT_TRUE(cli.Start(limited));
    // --repeat, and still the run ends by itself.
    EXPECT_EQ(cli.Wait(120s), 8) << cli.Err();
    EXPECT_NE(cli.Err().find("Can't write the log " + log.string() + ": File too large"),
              std::string::npos)
        << cli.Err();
    EXPECT_EQ(LogText(), before);

    testing::ChildProcess again;
    ASSERT_TRUE(again.Start(Cli({}, Link(0).string())));
    EXPECT_EQ(again.Wait(120s), 0) << again.Err();
    const Rows rows = ParseCsv(LogText());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].size(), 3u);
    ASSERT_EQ(rows[2].size(), size_t(kColumns));
    EXPECT_EQ(rows[2][kResult], "completed");
}

// Another process holding the log's lock delays a row a bounded time, and Ctrl+C ends the
// wait; either way the board's row is missing and the run says so with its own status.
TEST_F(LineSimTest, HeldLockIsWaitedForABoundedTime) {
    StartSim(0);
    const int fd = ::open(log.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    testing::ChildProcess one;
    ASSERT_TRUE(one.Start(Cli({}, Link(0).string())));
    EXPECT_EQ(one.Wait(120s), 8) << one.Err();
    EXPECT_NE(one.Err().find("stayed locked by another process for 5 s"), std::string::npos)
        << one.Err();

    testing::ChildProcess line;
    ASSERT_TRUE(line.Start(Cli({"--repeat", "--json"}, Link(0).string())));
    ASSERT_TRUE(line.WaitForOutput("\"letter\":\"O\"", 60s)) << line.Err();
    line.Signal(SIGINT);
    EXPECT_EQ(line.Wait(30s), 8) << line.Err();
    EXPECT_NE(line.Err().find("locked by another process; stopped waiting"), std::string::npos)
        << line.Err();
    ::close(fd);
    EXPECT_EQ(LogText(), "");
}

// What a terminal shows, line by line: escape sequences, bells and carriage returns removed.
std::vector<std::string> ShownLines(const std::string& out) {
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (c == '\x1b' && i + 1 < out.size() && out[i + 1] == '[') {
            i += 2;
            while (i < out.size() && !std::isalpha(static_cast<unsigned char>(out[i]))) ++i;
            lines.emplace_back();  // a redraw starts its lines afresh
        } else if (c == '\n') {
            lines.emplace_back();
        } else if (c != '\r' && c != '\a') {
            lines.back() += c;
        }
    }
    return lines;
}

// Three verified boards with long port names in an 80-column terminal: every line fits, also
// after the terminal narrows to 60 columns, each board's read-back says it verifies, and the last
// picture shows every bar full. In JSON the same run's overall figures only grow and no event
// repeats the one before it.
TEST_F(LineSimTest, ThreeBoardsFitAnEightyColumnTerminalWithFiguresThatAgree) {
    std::string ports;
    for (size_t i = 0; i < 3; ++i) {
        StartSim(i, {"--pace", "4"});
        const fs::path name =
            dir / ("usb-FTDI_FT232R_USB_UART_A50285B" + std::to_string(i) + "-if00-port0");
        fs::create_symlink(Link(i), name);
        ports += (i ? "," : "") + name.string();
    }
    testing::ChildProcess cli;
    ASSERT_TRUE(cli.StartOnTerminal(Cli({"--verify"}, ports), 80, 24));
    ASSERT_TRUE(cli.WaitForOutput("Verify: ", 60s)) << cli.Err();
    // Narrower from here: once the next picture is drawn, every line fits 60 columns.
    cli.Resize(60, 24);
    const size_t resizedAt = cli.Out().size();
    EXPECT_EQ(cli.Wait(120s), 0) << cli.Err();
    const size_t narrowFrom = cli.Out().find("\x1b[", cli.Out().find("\x1b[", resizedAt) + 1);
    // Every redrawn line; the summary below the last picture may wrap, it stays.
    const auto check = [](const std::string& out, size_t columns) {
        size_t bars = 0;
        for (const std::string& line : ShownLines(out)) {
            if (line.find("] ") == std::string::npos) continue;
            EXPECT_LT(line.size(), columns) << line;
            ++bars;
        }
        return bars;
    };
    EXPECT_GT(check(cli.Out().substr(0, resizedAt), 80), 6u);
    ASSERT_NE(narrowFrom, std::string::npos);
    EXPECT_GE(check(cli.Out().substr(narrowFrom), 60), 3u);
    const std::vector<std::string> shown = ShownLines(cli.Out());
    EXPECT_NE(cli.Out().find("Verify: "), std::string::npos);
    // The last picture: three full bars, then the summary.
    const auto summary = std::find_if(shown.begin(), shown.end(), [](const std::string& l) {
        return l.find(": passed 1, failed 0") != std::string::npos;
    });
    ASSERT_GE(summary - shown.begin(), 3);
    for (auto line = summary - 3; line != summary; ++line)
        EXPECT_NE(line->find("] 100%"), std::string::npos) << *line;

    testing::ChildProcess json;
    ASSERT_TRUE(json.Start(Cli({"--verify", "--json"}, ports)));
    EXPECT_EQ(json.Wait(120s), 0) << json.Err();
    std::map<std::string, int> overall;
    std::string previous;
    size_t verifying = 0;
    std::istringstream events(json.Out());
    for (std::string line; std::getline(events, line);) {
        EXPECT_NE(line, previous);
        previous = line;
        verifying += line.find("\"text\":\"Verifying...\"") != std::string::npos;
        const size_t at = line.find("\"overall\":");
        if (at == std::string::npos) continue;
        const std::string port = line.substr(9, line.find('"', 9) - 9);
        const int figure = std::stoi(line.substr(at + 10));
        EXPECT_GE(figure, overall[port]) << line;
        overall[port] = figure;
    }
    EXPECT_EQ(verifying, 3u);
    for (const auto& [port, figure] : overall) EXPECT_EQ(figure, 100) << port;
}

}  // namespace
}  // namespace pelorin
