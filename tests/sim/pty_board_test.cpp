// pelorin-sim as a separate process behind its pseudo-terminal, driven by a host scripted by
// hand: line speeds, the flash file across runs, an unplugged board, shutdown.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "session/boot_block.h"
#include "sim/host_script.h"

extern char** environ;

namespace pelorin::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

speed_t SpeedOf(unsigned baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
    }
}

// The simulator process, its scratch folder and its output.
class SimProcess {
  public:
    explicit SimProcess(const std::string& name) {
        dir_ = fs::temp_directory_path() /
               ("pelorin-sim-test-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~SimProcess() {
        Stop();
        fs::remove_all(dir_);
    }

    fs::path Link() const { return dir_ / "board"; }
    fs::path FlashFile() const { return dir_ / "flash.bin"; }
    fs::path LogFile() const { return dir_ / "sim.log"; }

    bool Start(std::vector<std::string> extra) {
        std::vector<std::string> args = {
            PELORIN_SIM_PATH, "--link",  Link().string(), "--flash", FlashFile().string(),
            "--pace",         "unpaced", "--prompt-ms",   "20"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, LogFile().c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) return false;
        for (auto until = Clock::now() + 10s; Clock::now() < until;
             std::this_thread::sleep_for(10ms)) {
            if (fs::is_symlink(Link())) return true;
            if (Wait(0ms) != -1) return false;  // it ended at once: a refused option or file
        }
        return false;
    }

    // Exit status, or -1 when it did not end in time (it is then killed).
    // With a zero timeout it only looks and leaves a running process alone.
    int Wait(std::chrono::milliseconds timeout = 10s) {
        if (pid_ <= 0) return exitStatus_;
        const auto until = Clock::now() + timeout;
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exitStatus_;
            }
            if (timeout == 0ms) return -1;
            std::this_thread::sleep_for(10ms);
        } while (Clock::now() < until);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
        return -1;
    }

    int Stop() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        return Wait();
    }

    std::string Log() const {
        std::ifstream in(LogFile());
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::vector<uint8_t> Flash() const {
        std::ifstream in(FlashFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    fs::path dir_;
    pid_t pid_ = 0;
    int exitStatus_ = -1;
};

// The host's end: the slave opened through the link, raw, at a chosen speed.
class HostPort {
  public:
    ~HostPort() { Close(); }

    bool Open(const fs::path& path, unsigned baud) {
        Close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return false;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetispeed(&tio, SpeedOf(baud));
        cfsetospeed(&tio, SpeedOf(baud));
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
        return true;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    void Write(std::span<const uint8_t> bytes) {
        size_t at = 0;
        for (auto until = Clock::now() + 10s; at < bytes.size() && Clock::now() < until;) {
            const ssize_t n = ::write(fd_, bytes.data() + at, bytes.size() - at);
            if (n > 0)
                at += static_cast<size_t>(n);
            else if (n < 0 && errno == EIO)
                return;  // the board is gone
            else
                std::this_thread::sleep_for(1ms);
        }
    }

    // Reads until `count` bytes came, the time ran out, or the line hung up.
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout = 5s) {
        std::vector<uint8_t> out;
        hungUp_ = false;
        for (auto until = Clock::now() + timeout; out.size() < count && Clock::now() < until;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n > 0) out.insert(out.end(), buffer, buffer + n);
            // The board's side is gone: end of file or EIO, depending on the kernel.
            if (n == 0 || (n < 0 && errno == EIO)) {
                hungUp_ = true;
                break;
            }
        }
        return out;
    }

    // Frames up to and including `last`; progress and noise are passed over.
    std::vector<Frame> FramesUntil(Frame last, std::chrono::milliseconds timeout = 10s) {
        std::vector<Frame> frames;
        std::vector<uint8_t> pending;
        for (auto until = Clock::now() + timeout; Clock::now() < until;) {
            auto b = Read(1, 100ms);
            pending.insert(pending.end(), b.begin(), b.end());
            if (hungUp_) break;
            while (!pending.empty() && pending[0] != 0xFE) pending.erase(pending.begin());
            if (pending.size() < 4) continue;
            Frame f{pending[1], pending[2]};
            pending.erase(pending.begin(), pending.begin() + 4);
            if (f.cls != 'p') frames.push_back(f);
            if (f == last) break;
        }
        return frames;
    }

    bool HungUp() const { return hungUp_; }

  private:
    int fd_ = -1;
    bool hungUp_ = false;
};

std::vector<uint8_t> BootAnswer(const SessionHeader& header) {
    TargetImages images;
    ChipImageTable table;
    table.Fill(images);
    auto block = BuildBootBlock(table, header);
    std::vector<uint8_t> out;
    if (FamilyOfCode(header.chipCode) == ChipFamily::BigEndian)
        out = {0x18};
    else
        out = {0x59, 0x00, 0x02, 0x00, 0x00};
    out.insert(out.end(), block->begin(), block->end());
    return out;
}

SessionHeader Header(OperationMode mode, uint8_t chip, unsigned crystalKhz, uint32_t start,
                     uint32_t size) {
    SessionHeader h;
    h.mode = static_cast<uint8_t>(mode);
    h.chipCode = chip;
    h.crystalKhz = static_cast<uint16_t>(crystalKhz);
    h.startAddress = start;
    h.sectionSize = size;
    return h;
}

// Prompt, block, speed switch and DRAM loader, as a host does it; true when the DRAM loader
// was sent.
bool BootAndSendDram(HostPort& port, const fs::path& link, const SessionHeader& h,
                     unsigned bootBaud) {
    if (!port.Open(link, bootBaud)) return false;
    auto prompt = port.Read(1);
    if (prompt != std::vector<uint8_t>{'X'}) return false;
    auto answer = BootAnswer(h);
    port.Write(std::span(answer).first(1));
    std::this_thread::sleep_for(50ms);
    port.Write(std::span(answer).subspan(1));
    if (port.FramesUntil({'c', 'A'}) != std::vector<Frame>{{'c', 'A'}}) return false;
    std::this_thread::sleep_for(10ms);
    port.Open(link, 115200);
    if (port.FramesUntil({'c', 'B'}) != std::vector<Frame>{{'c', 'B'}}) return false;
    TargetImages images;
    auto dram = images.DramImage(FamilyOfCode(h.chipCode));
    port.Write(Length3(dram.size()));
    if (port.FramesUntil({'v', Xor3(dram.size())}, 2s).size() != 1) return false;
    port.Write(dram);
    return true;
}

TEST(PtyBoard, EraseAtTheCrystalSpeedThenTheLoaderSpeed) {
    SimProcess sim("erase");
    ASSERT_TRUE(sim.Start({"--xtal", "13.5", "--flash-size", "256K", "--fill", "0x00", "--once"}));
    HostPort port;
    const uint32_t start = 0x8000, size = 0x10000;
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(),
                                Header(OperationMode::Erase, 12, 13500, start, size), 57600))
        << sim.Log();
    EXPECT_EQ(port.FramesUntil({'c', 'O'}),
              (std::vector<Frame>{{'c', 'H'}, {'c', 'I'}, {'c', 'O'}}));
    port.Close();
    EXPECT_EQ(sim.Wait(), 0) << sim.Log();
    auto flash = sim.Flash();
    ASSERT_EQ(flash.size(), 256u * 1024);
    EXPECT_TRUE(std::all_of(flash.begin() + start, flash.begin() + start + size,
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(
        std::all_of(flash.begin(), flash.begin() + start, [](uint8_t b) { return b == 0x00; }));
    EXPECT_NE(sim.Log().find("stage O"), std::string::npos) << sim.Log();
    EXPECT_FALSE(fs::exists(sim.Link())) << "link removed at exit";
}

TEST(PtyBoard, HostAtTheWrongSpeedHearsGarbage) {
    SimProcess sim("garbage");
    ASSERT_TRUE(sim.Start({"--xtal", "8", "--flash-size", "64K"}));
    HostPort port;
    ASSERT_TRUE(port.Open(sim.Link(), 115200));
    auto heard = port.Read(5, 3s);
    EXPECT_FALSE(heard.empty()) << "the board keeps prompting";
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 'X'), 0);
    // At the right speed the prompt is clear.
    ASSERT_TRUE(port.Open(sim.Link(), 38400));
    EXPECT_EQ(port.Read(1), std::vector<uint8_t>{'X'});
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(PtyBoard, FlashSurvivesBetweenRuns) {
    const auto data = Pattern(40000, 21);
    const auto member = Gzip(data);
    const uint32_t start = 0x20000, size = 0x10000;
    std::vector<uint8_t> flashAfterDownload;
    {
        SimProcess sim("persist");
        ASSERT_TRUE(sim.Start({"--flash-size", "256K", "--once"}));
        HostPort port;
        ASSERT_TRUE(BootAndSendDram(
            port, sim.Link(), Header(OperationMode::Download, 4, 27000, start, size), 115200));
        ASSERT_EQ(port.FramesUntil({'c', 'V'}).back(), (Frame{'c', 'V'}));
        port.Write(std::vector<uint8_t>(8, 0));
        ASSERT_EQ(port.FramesUntil({'c', 'D'}).back(), (Frame{'c', 'D'}));
        port.Write(Length3(member.size()));
        ASSERT_EQ(port.FramesUntil({'w', Xor3(member.size())}).size(), 1u);
        port.Write(member);
        EXPECT_EQ(port.FramesUntil({'c', 'O'}).back(), (Frame{'c', 'O'})) << sim.Log();
        port.Close();
        EXPECT_EQ(sim.Wait(), 0);
        flashAfterDownload = sim.Flash();
        ASSERT_EQ(flashAfterDownload.size(), 256u * 1024);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), flashAfterDownload.begin() + start));

        // A second run on the same flash file dumps what the first wrote.
        ASSERT_TRUE(sim.Start({"--once"}));
        ASSERT_TRUE(BootAndSendDram(port, sim.Link(),
                                    Header(OperationMode::Dump, 4, 27000, start, size), 115200));
        ASSERT_EQ(port.FramesUntil({'c', 'G'}).back(), (Frame{'c', 'G'}));
        auto dumped = port.Read(size);
        ASSERT_EQ(dumped.size(), size);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), dumped.begin()));
        port.Close();
        EXPECT_EQ(sim.Wait(), 0);
    }
}

TEST(PtyBoard, DumpsALargeSectionWhole) {
    SimProcess sim("bigdump");
    ASSERT_TRUE(sim.Start({"--flash-size", "1M", "--fill", "0x5A", "--once"}));
    HostPort port;
    const uint32_t size = 1u << 20;
    ASSERT_TRUE(
        BootAndSendDram(port, sim.Link(), Header(OperationMode::Dump, 33, 27000, 0, size), 115200));
    ASSERT_EQ(port.FramesUntil({'c', 'G'}).back(), (Frame{'c', 'G'}));
    auto dumped = port.Read(size, 30s);
    EXPECT_EQ(dumped.size(), size);
    EXPECT_EQ(std::count(dumped.begin(), dumped.end(), 0x5A), static_cast<long>(dumped.size()));
    port.Close();
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(PtyBoard, HostCloseDropsWhatItQueuedAndTheBoardStartsOver) {
    SimProcess sim("cancel");
    // Paced: the host writes far faster than the line carries, as a real port's queue would.
    ASSERT_TRUE(sim.Start({"--flash-size", "64K", "--pace", "4"}));
    HostPort port;
    const auto member = Gzip(Pattern(60000, 5));
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(),
                                Header(OperationMode::Download, 0, 27000, 0, 0x10000), 115200));
    ASSERT_EQ(port.FramesUntil({'c', 'V'}).back(), (Frame{'c', 'V'}));
    port.Write(std::vector<uint8_t>(8, 0));
    ASSERT_EQ(port.FramesUntil({'c', 'D'}).back(), (Frame{'c', 'D'}));
    port.Write(Length3(member.size()));
    ASSERT_EQ(port.FramesUntil({'w', Xor3(member.size())}).size(), 1u);
    port.Write(std::span(member).first(20000));
    port.Close();  // cancelled mid-stream
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(), Header(OperationMode::Erase, 0, 27000, 0, 0x1000),
                                115200))
        << sim.Log();
    EXPECT_EQ(port.FramesUntil({'c', 'O'}).back(), (Frame{'c', 'O'}));
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(sim.Log().find("host had queued"), std::string::npos) << sim.Log();
}

TEST(PtyBoard, PromptsAgainForTheNextOperation) {
    SimProcess sim("again");
    ASSERT_TRUE(sim.Start({"--flash-size", "64K"}));
    HostPort port;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(BootAndSendDram(port, sim.Link(),
                                    Header(OperationMode::Erase, 0, 27000, 0, 0x1000), 115200))
            << "round " << round << "\n"
            << sim.Log();
        EXPECT_EQ(port.FramesUntil({'c', 'O'}).back(), (Frame{'c', 'O'}));
        port.Close();
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(PtyBoard, FaultOptionsReachTheBoard) {
    SimProcess sim("faults");
    ASSERT_TRUE(sim.Start({"--flash-size", "64K", "--reject-hardware", "--noise", "3", "--once"}));
    HostPort port;
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(),
                                Header(OperationMode::Download, 1, 27000, 0, 0x1000), 115200));
    ASSERT_EQ(port.FramesUntil({'c', 'V'}).back(), (Frame{'c', 'V'}));
    port.Write(std::vector<uint8_t>(8, 0));
    EXPECT_EQ(port.FramesUntil({'c', 'P'}), (std::vector<Frame>{{'c', 'P'}}));
    port.Close();
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(sim.Log().find("fault: hardware version rejected"), std::string::npos) << sim.Log();
}

TEST(PtyBoard, VanishesMidTransferLikeAnUnpluggedBoard) {
    SimProcess sim("vanish");
    ASSERT_TRUE(sim.Start({"--flash-size", "64K", "--vanish-after", "8000"}));
    HostPort port;
    BootAndSendDram(port, sim.Link(), Header(OperationMode::Erase, 0, 27000, 0, 0x1000), 115200);
    port.Read(100, 3s);
    EXPECT_TRUE(port.HungUp());
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(fs::exists(sim.Link()));
    EXPECT_NE(sim.Log().find("vanishing"), std::string::npos) << sim.Log();
}

TEST(PtyBoard, EndsOnSigtermAndRemovesItsLink) {
    SimProcess sim("sigterm");
    ASSERT_TRUE(sim.Start({"--flash-size", "64K"}));
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::exists(sim.Link()));
    EXPECT_EQ(sim.Flash().size(), 64u * 1024) << "a new flash file is made at start";
}

TEST(PtyBoard, RefusesAFlashFileOfAnotherSize) {
    SimProcess sim("size");
    { std::ofstream(sim.FlashFile(), std::ios::binary) << std::string(1000, '\xFF'); }
    EXPECT_FALSE(sim.Start({"--flash-size", "64K"}));
    EXPECT_EQ(sim.Wait(), 2);
    EXPECT_NE(sim.Log().find("1000 bytes"), std::string::npos) << sim.Log();
}

}  // namespace
}  // namespace pelorin::sim::test
