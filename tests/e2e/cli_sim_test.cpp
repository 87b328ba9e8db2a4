// pelorin-cli run as a process against pelorin-sim on a pseudo-terminal: every mode, both chip
// families, several crystals, each fault with its exit status and message, cancels, a
// vanishing device, and operations one after the other on one running board.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "child_process.h"
#include "session/byte_rate.h"
#include "session/stage_texts.h"
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
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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
        std::vector<std::string> argv = {PELORIN_SIM_PATH, "--link", link.string(), "--flash",
                                         flash.string()};
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
    // The arguments run from the test's folder, where relative port names are looked up.
    std::vector<std::string> InDir(std::vector<std::string> argv) const {
        argv.insert(argv.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir.string()});
        return argv;
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
    struct Case {
        const char* chip;
        const char* xtal;
    };
    for (const Case& c :
         {Case{"QV101", "27"}, Case{"QV118", "13.5"}, Case{"QV109", "4"}, Case{"QV119", "8"}}) {
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
        r = Cli(
            args({"erase", "--section", "Logo", "--mem-type", "DDRAM", "--mem-size", "512Mbit"}));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(DumpLogo(chip), Bytes(kLogoSize, 0xFF));
    }
    // The board keeps its flash in a file: the erase reached it.
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(10s), 0);
    sim.reset();
    Bytes saved = Read(flash);
    ASSERT_EQ(saved.size(), 2u << 20);
    EXPECT_EQ(Bytes(saved.begin() + kLogoStart, saved.begin() + kLogoStart + kLogoSize),
              Bytes(kLogoSize, 0xFF));
}

TEST_F(CliSimTest, WholeFlashImageGivesItsSection) {
    StartSim();
    Bytes whole = sim::MakeFirmwareImage(2u << 20, 1u << 20, 5);
    const uint8_t signature[] = {0xAA, 0x55, 0xAA, 0x55, 0x61, 0x21, 0x55, 0xAA};
    std::copy(std::begin(signature), std::end(signature), whole.begin());
    CliResult r =
        Cli({"download", Write("whole.bin", whole).string(), "--section", "Logo", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("{\"event\":\"result\",\"exit\":0,\"outcome\":\"completed\",\"text\":"
                         "\"Mission completed\"}"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(DumpLogo(),
              Bytes(whole.begin() + kLogoStart, whole.begin() + kLogoStart + kLogoSize));
}

TEST_F(CliSimTest, FaultsGiveTheirExitStatusAndMessage) {
    struct Case {
        std::vector<std::string> fault;
        int code;
        const char* message;
    };
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
    // A board that stops taking bytes in the data stream of a long file: the same silence,
    // named as soon as the watchdog's time passes, not after the file's line time.
    StartSim({"--freeze-after", "200000"});
    Bytes big(1u << 20);
    uint32_t x = 88172645u;
    for (uint8_t& b : big) b = uint8_t((x ^= x << 13, x ^= x >> 17, x ^= x << 5));
    testing::ChildProcess frozen;
    ASSERT_TRUE(frozen.Start(
        CliArgs({"download", Write("big.bin", big).string(), "--section", "Main Code"})));
    EXPECT_EQ(frozen.Wait(60s), 4) << frozen.Err();
    EXPECT_NE(frozen.Err().find("The target fell silent at stage 'K' (Send data...)."),
              std::string::npos)
        << frozen.Err();
    StartSim({"--dump-after-g", "--noise", "3"});
    ASSERT_EQ(Cli({"download", imagePath.string(), "--section", "Logo"}).code, 0);
    EXPECT_EQ(DumpLogo(), image);
    // A file-size limit below the section: a failed write like a full disk, not a killed run;
    // what arrived is kept.
    std::vector<std::string> limited = {"/bin/bash", "-c", "ulimit -f 16 && exec \"$@\"", "cli"};
    for (const std::string& a :
         CliArgs({"dump", (dir / "limited.bin").string(), "--section", "Logo"}))
        limited.push_back(a);
    testing::ChildProcess capped;
    ASSERT_TRUE(capped.Start(limited));
    EXPECT_EQ(capped.Wait(60s), 5) << capped.Err();
    EXPECT_NE(capped.Err().find("Can't write the dump file!"), std::string::npos) << capped.Err();
    EXPECT_EQ(Read(dir / "limited.bin.partial"), Bytes(image.begin(), image.begin() + 16384));
    // A board on another crystal never answers the host's speed.
    StartSim({"--xtal", "13.5"});
    // A dump that fails so leaves an earlier file under the same name as it was.
    const fs::path good = Write("good.bin", Bytes(10, 7));
    CliResult r = Cli({"dump", good.string(), "--section", "Logo", "--xtal", "27"});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("No answer from the board's boot ROM"), std::string::npos) << r.err;
    EXPECT_EQ(Read(good), Bytes(10, 7));
    EXPECT_FALSE(fs::exists(good.string() + ".partial"));
}

TEST_F(CliSimTest, BadInputIsRefusedBeforeTheLine) {
    StartSim();
    CliResult r = Cli({"download", (dir / "missing.bin").string(), "--section", "Logo"});
    EXPECT_EQ(r.code, 2);
    r = Cli({"download", Write("big.bin", Bytes(kCommonDataSize + 1, 0x11)).string(), "--section",
             "Common Data"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Error: File length out of the segment size!"), std::string::npos)
        << r.err;
    EXPECT_EQ(Cli({"erase", "--section", "Nowhere"}).code, 2);
    EXPECT_EQ(Cli({"erase", "--chip", "QV999"}).code, 2);
    // A port path that does not exist or is no device is an argument error naming the path,
    // relative or absolute alike; a device that is no serial port cannot be opened.
    struct BadPort {
        std::string port;
        int code;
        std::string says;
    };
    for (const BadPort& b :
         {BadPort{(dir / "no-such-port").string(), 2, " does not exist (--port takes COMn"},
          BadPort{"no-such-port", 2, " does not exist (--port takes COMn"},
          BadPort{imagePath.string(), 2, " is not a serial device"},
          BadPort{"/dev/null", 3, "Error: Can't open port!"}}) {
        testing::ChildProcess cli;
        ASSERT_TRUE(cli.Start(InDir({PELORIN_CLI_PATH, "erase", "--section", "Logo", "--port",
                                     b.port, "--tick-ms", "50"})));
        EXPECT_EQ(cli.Wait(30s), b.code) << b.port;
        EXPECT_NE(cli.Err().find((b.code == 2 ? "port " + b.port : "") + b.says), std::string::npos)
            << cli.Err();
    }
    // A relative name of a terminal device is a port.
    testing::ChildProcess relative;
    ASSERT_TRUE(relative.Start(InDir({PELORIN_CLI_PATH, "erase", "--section", "Common Data",
                                      "--port", "board", "--tick-ms", "50"})));
    EXPECT_EQ(relative.Wait(60s), 0) << relative.Err();
    // The board is still fine after all that; a file that looks like an option follows "--".
    const Bytes small(image.begin(), image.begin() + kCommonDataSize);
    Write("--small.bin", small);
    testing::ChildProcess dashed;
    ASSERT_TRUE(
        dashed.Start(InDir({PELORIN_CLI_PATH, "download", "--section", "Common Data", "--port",
                            link.string(), "--tick-ms", "50", "--", "--small.bin"})));
    EXPECT_EQ(dashed.Wait(60s), 0) << dashed.Err();
}

TEST_F(CliSimTest, CtrlCCancelsEachLongStage) {
    // At the real line rate the data stream, the dump and a slow erase each last seconds.
    StartSim({"--pace", "1", "--erase-us-per-kib", "200000"});
    struct Case {
        std::vector<std::string> args;
        const char* stage;
        std::string says;  // the result's text says what was cancelled and what it left
    };
    const std::vector<Case> cases = {
        {{"download", imagePath.string(), "--section", "Logo"},
         "\"letter\":\"K\"",
         "\"text\":\"Cancelled at stage 'K' (Send data...): the flash is as it was.\"}"},
        {{"dump", (dir / "partial.bin").string(), "--section", "Logo"},
         "\"letter\":\"G\"",
         "\"text\":\"Cancelled at stage 'G' (Receive data...): the flash is as it was. The "
         "partial dump is kept: " +
             (dir / "partial.bin.partial").string() + " ("},
        {{"erase", "--section", "Logo"},
         "\"letter\":\"H\"",
         "\"text\":\"Cancelled at stage 'H' (Eraser Flash...): section Logo may be partly "
         "erased; erase it again.\"}"},
    };
    std::string dumpSaid;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        testing::ChildProcess cli;
        auto args = c.args;
        args.push_back("--json");
        ASSERT_TRUE(cli.Start(CliArgs(args, "1000")));
        ASSERT_TRUE(cli.WaitForOutput(c.stage, 60s)) << cli.Err();
        // A dump is cancelled once some of it arrived, so there is a partial file to keep.
        while (c.args[0] == "dump") {
            auto line = cli.ReadLine(30s);
            ASSERT_TRUE(line) << cli.Err();
            if (line->find("\"bytes\":") != std::string::npos &&
                line->find("\"bytes\":0,") == std::string::npos)
                break;
        }
        cli.Signal(SIGINT);
        EXPECT_EQ(cli.Wait(30s), 130) << cli.Err();
        EXPECT_NE(cli.Out().find(c.says), std::string::npos) << cli.Out();
        if (c.args[0] == "dump") dumpSaid = cli.Out();
    }
    // The partial dump is kept under its own name, closed, shorter than the section, and the
    // run said so with its size.
    const Bytes partial = Read(dir / "partial.bin.partial");
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), kLogoSize);
    EXPECT_FALSE(fs::exists(dir / "partial.bin"));
    EXPECT_NE(dumpSaid.find("kept: " + (dir / "partial.bin.partial").string() + " (" +
                            std::to_string(partial.size()) + " bytes)\"}"),
              std::string::npos)
        << dumpSaid;
    // The board goes back to its boot ROM; the next operation runs normally (real seconds: the
    // loader upload at this pace is longer than sixteen short ticks).
    testing::ChildProcess next;
    ASSERT_TRUE(next.Start(CliArgs({"erase", "--section", "Common Data"}, "1000")));
    EXPECT_EQ(next.Wait(120s), 0) << next.Err();
}

// A board that goes away (killed, or unplugged by --vanish-after) ends the run at once with its
// own status, whatever stage it was in; a dump keeps what arrived.
TEST_F(CliSimTest, VanishedBoardEndsTheRunAtOnce) {
    struct Case {
        std::vector<std::string> args;
        const char* killAt;  // kill the board when this appears; null: it vanishes by itself
        std::vector<std::string> sim;
    };
    const std::vector<Case> cases = {
        // Before 'A': the board is on another crystal and never answers; it goes while the
        // host waits for its boot ROM.
        {{"erase", "--section", "Logo"}, "Enter Erase Progress", {"--xtal", "13.5"}},
        {{"download", imagePath.string(), "--section", "Logo"},
         "\"letter\":\"K\"",
         {"--pace", "1"}},
        {{"dump", (dir / "gone.bin").string(), "--section", "Logo"},
         "\"letter\":\"G\"",
         {"--pace", "1"}},
        {{"download", imagePath.string(), "--section", "Logo"},
         nullptr,
         {"--vanish-after", "6000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.killAt ? std::string(" killed at ") + c.killAt : " vanishing"));
        StartSim(c.sim);
        testing::ChildProcess cli;
        auto args = c.args;
        args.push_back("--json");
        // Real seconds: the time-out path would take 16 s and more.
        ASSERT_TRUE(cli.Start(CliArgs(args, "1000")));
        if (c.killAt) {
            ASSERT_TRUE(cli.WaitForOutput(c.killAt, 60s)) << cli.Err();
            sim->Signal(SIGKILL);
            sim->Wait(10s);
            sim.reset();
        }
        EXPECT_EQ(cli.Wait(10s), 6) << cli.Err();
        EXPECT_NE(cli.Err().find("Error: The serial device has gone away: " + link.string()),
                  std::string::npos)
            << cli.Err();
        EXPECT_EQ(cli.Out().find("Time Out"), std::string::npos) << cli.Out();
    }
    EXPECT_LT(Read(dir / "gone.bin.partial").size(), kLogoSize);
    EXPECT_FALSE(fs::exists(dir / "gone.bin"));
}

// The stage events name each stage once with its own text; the line output ends with the 100 %
// line and then "Mission completed"; input that is not a regular, non-empty file is refused at
// once (a FIFO would block for ever).
TEST_F(CliSimTest, StagesLinesAndInputFilesAreExact) {
    StartSim();
    CliResult r = Cli({"download", imagePath.string(), "--section", "Logo", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string letters;
    for (size_t at = r.out.find("\"event\":\"stage\""); at != std::string::npos;
         at = r.out.find("\"event\":\"stage\"", at + 1)) {
        const char letter = r.out[r.out.find("\"letter\":\"", at) + 10];
        letters += letter;
        const std::string text(StageTextFor(letter));
        EXPECT_EQ(r.out.find("\"text\":\"" + text + "\"", at), r.out.find("\"text\":", at))
            << letter;
    }
    EXPECT_EQ(letters, "UABSVDKHIO");

    r = Cli({"download", imagePath.string(), "--section", "Logo"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.rfind("100% overall")), "100% overall\nMission completed\n");
    EXPECT_EQ(r.out.find("Mission completed"), r.out.rfind("Mission completed"));

    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    struct Bad {
        fs::path file;
        const char* says;
    };
    for (const Bad& b :
         {Bad{dir / "fifo", "is not a regular file"}, Bad{dir / "folder", "is not a regular file"},
          Bad{Write("empty.bin", {}), "The file is empty"},
          Bad{dir / "missing.bin", "No such file or directory"}}) {
        r = Cli({"download", b.file.string(), "--section", "Logo"});
        EXPECT_EQ(r.code, 2) << b.file;
        EXPECT_NE(r.err.find(b.says), std::string::npos) << r.err;
        // Said once, not again as the result.
        EXPECT_EQ(r.err.find(b.file.string()), r.err.rfind(b.file.string())) << r.err;
    }
    r = Cli({"download", Write("big.bin", Bytes(kCommonDataSize + 1, 1)).string(), "--section",
             "Common Data"});
    EXPECT_NE(r.err.find("has 2049 bytes, section Common Data holds 2048 bytes"), std::string::npos)
        << r.err;
}

// Ctrl+C, SIGTERM and a closed terminal cancel; a closed output stream does not stop a flash;
// a run killed outright leaves the port free for the next user, root or not.
TEST_F(CliSimTest, SignalsAndKilledRuns) {
    StartSim({"--pace", "1"});
    testing::ChildProcess cli;
    ASSERT_TRUE(cli.Start(CliArgs({"erase", "--section", "Logo"}, "1000")));
    ASSERT_TRUE(cli.WaitForOutput("Section Logo", 30s));
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(10s), 130) << cli.Err();

    testing::ChildProcess hup;
    ASSERT_TRUE(hup.Start(
        CliArgs({"download", imagePath.string(), "--section", "Logo", "--json"}, "1000")));
    ASSERT_TRUE(hup.WaitForOutput("\"letter\":\"K\"", 60s)) << hup.Err();
    hup.Signal(SIGHUP);
    EXPECT_EQ(hup.Wait(10s), 130) << hup.Err();

    // `pelorin-cli ... | head -c 1`: the reader goes away at the first byte.
    StartSim();
    std::string command;
    for (const std::string& a : CliArgs({"download", imagePath.string(), "--section", "Logo"}))
        command += "'" + a + "' ";
    testing::ChildProcess piped;
    ASSERT_TRUE(piped.Start(
        {"/bin/bash", "-c", command + "| head -c 1 >/dev/null; echo status ${PIPESTATUS[0]} >&2"}));
    EXPECT_EQ(piped.Wait(60s), 0);
    EXPECT_NE(piped.Err().find("status 0"), std::string::npos) << piped.Err();
    EXPECT_EQ(DumpLogo(), image);

    StartSim({"--pace", "1"});
    testing::ChildProcess killed;
    ASSERT_TRUE(killed.Start(
        CliArgs({"download", imagePath.string(), "--section", "Logo", "--json"}, "1000")));
    ASSERT_TRUE(killed.WaitForOutput("\"letter\":\"K\"", 60s)) << killed.Err();
    killed.Signal(SIGKILL);
    killed.Wait(10s);
    if (::geteuid() != 0) GTEST_SKIP() << "the run as another user needs root";
    const fs::path device = fs::read_symlink(link);
    fs::permissions(device, fs::perms::all, fs::perm_options::add);
    std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                         "--clear-groups"};
    // The device itself: the test's private folder with the link is closed to that user.
    for (const std::string& a : CliArgs({"erase", "--section", "Logo"}))
        asNobody.push_back(a == link.string() ? device.string() : a);
    testing::ChildProcess nobody;
    ASSERT_TRUE(nobody.Start(asNobody));
    EXPECT_EQ(nobody.Wait(60s), 0) << nobody.Err();
}

// The step's bytes, speed and time left follow what the board takes, at three paces. The board
// logs what it took with the monotonic clock the test shares with it.
TEST_F(CliSimTest, MeasuredProgressFollowsTheBoard) {
#ifdef PELORIN_SANITIZED
    GTEST_SKIP() << "a sanitizer slows host and board unevenly: their timing says nothing here";
#endif
    using Clock = std::chrono::steady_clock;
    constexpr double kStreamSeconds = 8;
    // What left the host may sit in the pseudo-terminal before the board takes it; a real
    // UART's driver reports what it holds, a pseudo-terminal does not.
    constexpr double kPtyHolds = 20480;
    struct Sample {
        double at, bytes, speed, left;
    };
    for (int pace : {4, 8, 16}) {
        SCOPED_TRACE("pace " + std::to_string(pace));
        const double rate = 11520.0 * pace;
        Bytes data(std::min<size_t>(size_t(rate * kStreamSeconds), 1u << 20));
        uint32_t x = 2463534242u + uint32_t(pace);
        for (uint8_t& b : data) b = uint8_t((x ^= x << 13, x ^= x >> 17, x ^= x << 5));
        StartSim({"--pace", std::to_string(pace), "--log-received"});
        testing::ChildProcess cli;
        ASSERT_TRUE(cli.Start(CliArgs(
            {"download", Write("random.bin", data).string(), "--section", "Main Code", "--json"},
            "1000")));
        std::vector<Sample> samples;
        double total = 0;
        while (auto line = cli.ReadLine(60s)) {
            const double at =
                std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
            const size_t pos = line->find("\"bytes\":");
            if (pos == std::string::npos) continue;
            total = std::stod(line->substr(line->find("\"total\":") + 8));
            samples.push_back({at, std::stod(line->substr(pos + 8)),
                               std::stod(line->substr(line->find("\"bytesPerSecond\":") + 17)),
                               std::stod(line->substr(line->find("\"secondsLeft\":") + 14))});
        }
        ASSERT_EQ(cli.Wait(60s), 0) << cli.Err();
        sim->Signal(SIGTERM);
        sim->Wait(10s);
        // The board's own count: (time, bytes taken from the host).
        std::vector<std::pair<double, double>> took;
        const std::string& log = sim->Out();
        for (size_t at = log.find("received "); at != std::string::npos;
             at = log.find("received ", at + 1)) {
            const double bytes = std::stod(log.substr(at + 9));
            const double ns = std::stod(log.substr(log.find(" at ", at) + 4));
            took.emplace_back(ns / 1e9, bytes);
        }
        sim.reset();
        ASSERT_GE(took.size(), 4u);
        // Nothing follows the data stream on the host's side of a download.
        const double base = took.back().second - total;
        const auto takenAt = [&](double t) {
            for (size_t i = 1; i < took.size(); ++i)
                if (took[i].first >= t) {
                    const auto& [t0, b0] = took[i - 1];
                    const auto& [t1, b1] = took[i];
                    return b0 + (b1 - b0) * (t - t0) / std::max(1e-9, t1 - t0) - base;
                }
            return took.back().second - base;
        };
        double streamEnd = took.back().first;
        for (const auto& [t, b] : took)
            if (b - base >= total) {
                streamEnd = t;
                break;
            }
        int checked = 0;
        for (const Sample& s : samples) {
            const double board = takenAt(s.at);
            EXPECT_LE(s.bytes, board + kPtyHolds + total * 0.05) << s.at;
            EXPECT_GE(s.bytes, board - total * 0.05) << s.at;
            const double since = s.at - (streamEnd - total / rate);
            if (since < ByteRate::kWindow.count() + 1 || s.bytes >= total) continue;
            ++checked;
            const double boardSpeed = (board - takenAt(s.at - ByteRate::kWindow.count())) /
                                      double(ByteRate::kWindow.count());
            EXPECT_NEAR(s.speed, boardSpeed, boardSpeed * 0.05) << s.at;
            EXPECT_NEAR(s.left, streamEnd - s.at, (streamEnd - s.at) * 0.05 + kPtyHolds / rate)
                << s.at;
        }
        EXPECT_GT(checked, 0);
    }
}

}  // namespace
}  // namespace pelorin
