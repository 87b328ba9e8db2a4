// The production line: pelorin-cli with several ports, --repeat, --verify and --log against
// several pelorin-sim boards on pseudo-terminals.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "child_process.h"
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
        imagePath = dir / "image.bin";
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
                                         "Logo",
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
    Rows LogRows() const {
        std::ifstream in(log, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        Rows rows = ParseCsv(text);
        EXPECT_FALSE(rows.empty());
        if (!rows.empty()) {
            EXPECT_EQ(rows.front()[kTime], "time");
        }
        for (const auto& row : rows) EXPECT_EQ(row.size(), size_t(kColumns));
        return rows;
    }
    Bytes FlashLogo(size_t i) const {
        std::ifstream in(Flash(i), std::ios::binary);
        const Bytes all((std::istreambuf_iterator<char>(in)), {});
        if (all.size() < kLogoStart + kLogoSize) return {};
        return Bytes(all.begin() + kLogoStart, all.begin() + kLogoStart + long(image.size()));
    }

    fs::path dir, imagePath, log;
    Bytes image;
    std::vector<std::unique_ptr<testing::ChildProcess>> sims;
};

// Three boards at once: one completes, one vanishes mid-stream, one rejects the hardware
// version. Neither failure disturbs the others; the exit status is the most severe.
TEST_F(LineSimTest, ThreePortsOneVanishingOneRejecting) {
    StartSim(0);
    StartSim(1, {"--vanish-after", "6000"});
    StartSim(2, {"--reject-hardware"});
    testing::ChildProcess cli;
    const std::string ports = Link(0).string() + "," + Link(1).string() + "," + Link(2).string();
    ASSERT_TRUE(cli.Start(Cli({}, ports)));
    EXPECT_EQ(cli.Wait(120s), 5) << cli.Err();
    EXPECT_NE(cli.Out().find(Link(0).string() + ": Mission completed"), std::string::npos)
        << cli.Out();
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
    std::map<std::string, std::string> results;
    for (size_t i = 1; i < rows.size(); ++i) {
        results[rows[i][kPort]] = rows[i][kResult];
        EXPECT_EQ(rows[i][kSha256], sha);
        EXPECT_EQ(rows[i][kOperation], "Download");
        EXPECT_EQ(rows[i][kSection], "Logo");
        EXPECT_EQ(rows[i][kTime].size(), 20u) << rows[i][kTime];
    }
    EXPECT_EQ(results[Link(0).string()], "completed");
    EXPECT_EQ(results[Link(1).string()], "device-gone");
    EXPECT_EQ(results[Link(2).string()], "transfer-error");
    // The board that completed holds the file.
    sims[0]->Signal(SIGTERM);
    EXPECT_EQ(sims[0]->Wait(10s), 0);
    sims[0].reset();
    EXPECT_EQ(FlashLogo(0), image);
}

// One port, three boards one after the other: each board is a new simulated board that runs
// one operation and goes (its port with it), as a board swapped with its adapter.
TEST_F(LineSimTest, RepeatOverThreeBoardsOnOnePort) {
    StartSim(0, {"--once"});
    testing::ChildProcess cli;
    ASSERT_TRUE(cli.Start(Cli({"--repeat", "--json"}, Link(0).string())));
    for (int board = 1; board <= 3; ++board) {
        SCOPED_TRACE(board);
        ASSERT_TRUE(cli.WaitForOutput("\"passed\":" + std::to_string(board), 60s)) << cli.Err();
        EXPECT_EQ(sims[0]->Wait(30s), 0);
        if (board < 3) StartSim(0, {"--once"});
    }
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(30s), 0) << cli.Err();
    EXPECT_NE(cli.Out().find("\"event\":\"summary\",\"exit\":0,\"outcome\":\"completed\","
                             "\"ports\":[{\"port\":\"" +
                             Link(0).string() + "\",\"passed\":3,\"failed\":0}]"),
              std::string::npos)
        << cli.Out();
    // A port waiting for its next board shows no error for the adapter that went.
    EXPECT_EQ(cli.Err().find("Error"), std::string::npos) << cli.Err();
    const Rows rows = LogRows();
    ASSERT_EQ(rows.size(), 4u);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][kResult], "completed");
        EXPECT_GT(std::stoull(rows[i][kWireBytes]), 2048u);  // the loaders at least
    }
    EXPECT_EQ(FlashLogo(0), image);
}

// --verify reads the section back after a reset: it passes on a good board and names the
// first differing offset, with its own status, on a board whose flash keeps a wrong byte.
TEST_F(LineSimTest, VerifyPassesAndFailsOnACorruptByte) {
    StartSim(0);
    testing::ChildProcess good;
    ASSERT_TRUE(good.Start(Cli({"--verify"}, Link(0).string())));
    EXPECT_EQ(good.Wait(120s), 0) << good.Err();
    EXPECT_NE(good.Out().find("Reset the board to verify"), std::string::npos) << good.Out();
    const std::string tail = "passed; the 8192 bytes after the file are erased (0xFF)";
    EXPECT_NE(good.Out().find(tail), std::string::npos) << good.Out();

    StartSim(1, {"--corrupt-flash-byte", std::to_string(kLogoStart + 0x123)});
    testing::ChildProcess bad;
    ASSERT_TRUE(bad.Start(Cli({"--verify"}, Link(1).string())));
    EXPECT_EQ(bad.Wait(120s), 7) << bad.Err();
    const std::string differs = "differs at offset 0x123 (address 0x130123)";
    EXPECT_NE(bad.Err().find("Verify failed: " + differs), std::string::npos) << bad.Err();

    const Rows rows = LogRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][kResult], "completed");
    EXPECT_EQ(rows[1][kVerify], tail);
    EXPECT_EQ(rows[2][kResult], "verify-failed");
    EXPECT_EQ(rows[2][kVerify], differs);
}

}  // namespace
}  // namespace pelorin
