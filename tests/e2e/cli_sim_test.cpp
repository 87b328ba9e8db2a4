// pelorin-cli run as a process against pelorin-sim on a pseudo-terminal: every mode, both chip
// families, several crystals, each fault with its exit status and message, cancels, a
// vanishing device, and operations one after the other on one running board.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "child_process.h"
#include "sim/firmware_image.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// The default layout's small sections keep unpaced runs short.
constexpr uint32_t kLogoStart = 0x130000;
constexpr uint32_t kLogoSize = 0x8000;
constexpr uint32_t kCommonDataSize = 0x800;

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;
};

class CliSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "pelorin-e2e-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir = templ;
        link = dir / "board";
        flash = dir / "flash.bin";
        image = sim::MakeFirmwareImage(kLogoSize, kLogoSize * 3 / 4, 11);
        imagePath = Write("image.bin", image);
    }
    void TearDown() override {
        if (sim) {
            sim->Signal(SIGTERM);
            EXPECT_EQ(sim->Wait(10s), 0) << sim->Err();
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Write(const std::string& name, const Bytes& bytes) {
        fs::path path = dir / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    static Bytes Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), {});
    }
    // Starts a board; "--pace unpaced" unless the arguments say otherwise.
    void StartSim(std::vector<std::string> extra = {}) {
        if (sim) {
            sim->Signal(SIGTERM);
            sim->Wait(10s);
        }
        sim = std::make_unique<testing::ChildProcess>();
        std::vector<std::string> argv = {PELORIN_SIM_PATH, "--link", link.string(), "--flash", flash.string()};
        bool paced = false;
        for (const auto& a : extra) paced |= a == "--pace";
        if (!paced) argv.insert(argv.end(), {"--pace", "unpaced"});
        argv.insert(argv.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim->Start(argv));
        for (int i = 0; i < 500 && !fs::exists(link); ++i) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(link)) << sim->Err();
    }
    // Short watchdog ticks for unpaced boards: a time-out after 16 x 50 ms, giving up 20 ticks
    // later. Paced boards need the real second.
    std::vector<std::string> CliArgs(std::vector<std::string> args, const char* tickMs = "50") {
        std::vector<std::string> argv = {PELORIN_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.insert(argv.end(), {"--port", link.string(), "--tick-ms", tickMs, "--give-up", "20"});
        return argv;
    }
    CliResult Cli(std::vector<std::string> args) {
        testing::ChildProcess cli;
        CliResult r;
        if (!cli.Start(CliArgs(std::move(args)))) return r;
        r.code = cli.Wait(120s);
        r.out = cli.Out();
        r.err = cli.Err();
        return r;
    }
    Bytes DumpLogo(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"dump", (dir / "dump.bin").string(), "--section", "Logo"};
        args.insert(args.end(), extra.begin(), extra.end());
        CliResult r = Cli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return Read(dir / "dump.bin");
    }

    fs::path dir, link, flash, imagePath;
    Bytes image;
    std::unique_ptr<testing::ChildProcess> sim;
};

TEST_F(CliSimTest, EveryModeBothFamiliesSeveralCrystalsOnOneRunningBoard) {
    struct Case { const char* chip; const char* xtal; };
    for (const Case& c : {Case{"QV101", "27"}, Case{"QV118", "13.5"}, Case{"QV109", "4"}, Case{"QV119", "8"}}) {
        SCOPED_TRACE(std::string(c.chip) + " " + c.xtal);
        StartSim({"--xtal", c.xtal});
        const std::vector<std::string> chip = {"--chip", c.chip, "--xtal", c.xtal};
        auto args = [&](std::vector<std::string> a) {
            a.insert(a.end(), chip.begin(), chip.end());
            return a;
        };
        CliResult r = Cli(args({"download", imagePath.string(), "--section", "Logo"}));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("Mission completed"), std::string::npos) << r.out;
        EXPECT_EQ(DumpLogo(chip), image);
        r = Cli(args({"erase", "--section", "Logo", "--mem-type", "DDRAM", "--mem-size", "512Mbit"}));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(DumpLogo(chip), Bytes(kLogoSize, 0xFF));
    }
    // The board keeps its flash in a file: the erase reached it.
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(10s), 0);
    sim.reset();
    Bytes saved = Read(flash);
    ASSERT_EQ(saved.size(), 2u << 20);
    EXPECT_EQ(Bytes(saved.begin() + kLogoStart, saved.begin() + kLogoStart + kLogoSize), Bytes(kLogoSize, 0xFF));
}

TEST_F(CliSimTest, WholeFlashImageGivesItsSection) {
    StartSim();
    Bytes whole = sim::MakeFirmwareImage(2u << 20, 1u << 20, 5);
    const uint8_t signature[] = {0xAA, 0x55, 0xAA, 0x55, 0x61, 0x21, 0x55, 0xAA};
    std::copy(std::begin(signature), std::end(signature), whole.begin());
    CliResult r = Cli({"download", Write("whole.bin", whole).string(), "--section", "Logo", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("{\"event\":\"result\",\"exit\":0,\"outcome\":\"completed\",\"text\":\"Mission completed\"}"), std::string::npos) << r.out;
    EXPECT_EQ(DumpLogo(), Bytes(whole.begin() + kLogoStart, whole.begin() + kLogoStart + kLogoSize));
}

TEST_F(CliSimTest, FaultsGiveTheirExitStatusAndMessage) {
    struct Case { std::vector<std::string> fault; int code; const char* message; };
    const std::vector<Case> cases = {
        {{"--wrong-dram-check"}, 5, "Error: Send data error!"},
        {{"--wrong-data-check"}, 5, "Error: Send data error!"},
        {{"--corrupt-data"}, 5, "Error: Decompress file error"},
        {{"--reject-hardware"}, 5, "Invalid bin file.The hardware version is incorrect."},
        {{"--silent-at", "S"}, 4, "Time Out: Time Out(83),please check:"},
        {{"--silent-at", "U"}, 4, "(Bootloader is not running)"},
        {{"--silent-at", "H"}, 4, "   3. Flash is not working properly."},
        {{"--noise", "7", "--split-frames"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault[0]);
        StartSim(c.fault);
        CliResult r = Cli({"download", imagePath.string(), "--section", "Logo"});
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    StartSim({"--dump-after-g", "--noise", "3"});
    ASSERT_EQ(Cli({"download", imagePath.string(), "--section", "Logo"}).code, 0);
    EXPECT_EQ(DumpLogo(), image);
    // A board on another crystal never answers the host's speed.
    StartSim({"--xtal", "13.5"});
    CliResult r = Cli({"erase", "--section", "Logo", "--xtal", "27"});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("No answer from the board's boot ROM"), std::string::npos) << r.err;
}

TEST_F(CliSimTest, BadInputIsRefusedBeforeTheLine) {
    StartSim();
    CliResult r = Cli({"download", (dir / "missing.bin").string(), "--section", "Logo"});
    EXPECT_EQ(r.code, 2);
    r = Cli({"download", Write("big.bin", Bytes(kCommonDataSize + 1, 0x11)).string(), "--section", "Common Data"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Error: File length out of the segment size!"), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"erase", "--section", "Nowhere"}).code, 2);
    EXPECT_EQ(Cli({"erase", "--chip", "QV999"}).code, 2);
    testing::ChildProcess cli;
    ASSERT_TRUE(cli.Start({PELORIN_CLI_PATH, "erase", "--section", "Logo", "--port", (dir / "no-such-port").string()}));
    EXPECT_EQ(cli.Wait(30s), 3);
    EXPECT_NE(cli.Err().find("Error: Can't open port!"), std::string::npos) << cli.Err();
    // The board is still fine after all that.
    const Bytes small(image.begin(), image.begin() + kCommonDataSize);
    EXPECT_EQ(Cli({"download", Write("small.bin", small).string(), "--section", "Common Data"}).code, 0);
}

TEST_F(CliSimTest, CtrlCCancelsEachLongStage) {
    // At the real line rate the data stream, the dump and a slow erase each last seconds.
    StartSim({"--pace", "1", "--erase-us-per-kib", "200000"});
    struct Case { std::vector<std::string> args; const char* stage; };
    const std::vector<Case> cases = {
        {{"download", imagePath.string(), "--section", "Logo"}, "\"letter\":\"K\""},
        {{"dump", (dir / "partial.bin").string(), "--section", "Logo"}, "\"letter\":\"G\""},
        {{"erase", "--section", "Logo"}, "\"letter\":\"H\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        testing::ChildProcess cli;
        auto args = c.args;
        args.push_back("--json");
        ASSERT_TRUE(cli.Start(CliArgs(args, "1000")));
        ASSERT_TRUE(cli.WaitForOutput(c.stage, 60s)) << cli.Err();
        cli.Signal(SIGINT);
        EXPECT_EQ(cli.Wait(30s), 130) << cli.Err();
        EXPECT_NE(cli.Out().find("\"text\":\"Cancel\""), std::string::npos) << cli.Out();
    }
    // The partial dump is kept, closed, shorter than the section.
    EXPECT_LT(Read(dir / "partial.bin").size(), kLogoSize);
    // The board goes back to its boot ROM; the next operation runs normally.
    CliResult r = Cli({"erase", "--section", "Common Data"});
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(CliSimTest, VanishingDeviceEndsWithTimeOut) {
    StartSim({"--vanish-after", "3000"});
    CliResult r = Cli({"download", imagePath.string(), "--section", "Logo"});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_NE(r.err.find("Time Out"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace pelorin
