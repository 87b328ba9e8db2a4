// pelorin-sim as a process behind its pseudo-terminal, driven by a host scripted by hand: line
// speeds, a host that closes mid-stream, the flash file, refused starts. The command line's
// runs against it are tested end to end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sim/host_script.h"

extern char** environ;

namespace pelorin::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// The simulator process and its scratch folder. A run that hangs is left to the test's time
// limit.
class SimProcess {
  public:
    SimProcess() {
        std::string templ = (fs::temp_directory_path() / "pelorin-sim-test-XXXXXX").string();
        dir_ = ::mkdtemp(templ.data()) ? templ : std::string();
    }
    ~SimProcess() {
        if (pid_ > 0) kill(pid_, SIGKILL);
        Wait();
        fs::remove_all(dir_);
    }

    fs::path Link() const { return dir_ / "board"; }
    fs::path FlashFile() const { return dir_ / "flash.bin"; }

    // Starts it and waits for its link; false when it ended at once (a refused option).
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
        posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "sim.log").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const bool spawned =
            posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        while (spawned && !fs::is_symlink(Link())) {
            if (waitpid(pid_, &status_, WNOHANG) == pid_) {
                pid_ = 0;
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return spawned;
    }

    // The exit status once it ended.
    int Wait() {
        if (pid_ > 0 && waitpid(pid_, &status_, 0) == pid_) pid_ = 0;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    }
    int Stop() {
        if (pid_ > 0) kill(pid_, SIGTERM);
        return Wait();
    }

    std::string Log() const {
        std::ifstream in(dir_ / "sim.log");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
    Bytes Flash() const {
        std::ifstream in(FlashFile(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

  private:
    fs::path dir_;
    pid_t pid_ = 0;
    int status_ = 0;
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
        cfsetspeed(&tio, baud == 57600 ? B57600 : B115200);  // the two speeds used here
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
            else
                std::this_thread::sleep_for(1ms);
        }
    }

    // Reads until `count` bytes came or the time ran out.
    Bytes Read(size_t count, std::chrono::milliseconds timeout = 5s) {
        Bytes out;
        for (auto until = Clock::now() + timeout; out.size() < count && Clock::now() < until;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            uint8_t buffer[4096];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
            if (n > 0) out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

    // Reads frames until `last` (progress passed over); true when it came.
    bool FramesUntil(Frame last, std::chrono::milliseconds timeout = 10s) {
        Bytes pending;
        for (auto until = Clock::now() + timeout; Clock::now() < until;) {
            auto b = Read(1, 100ms);
            pending.insert(pending.end(), b.begin(), b.end());
            while (!pending.empty() && pending[0] != 0xFE) pending.erase(pending.begin());
            if (pending.size() < 4) continue;
            if (Frame{pending[1], pending[2]} == last) return true;
            pending.erase(pending.begin(), pending.begin() + 4);
        }
        return false;
    }

  private:
    int fd_ = -1;
};

// Prompt, block, speed switch and DRAM loader, as a host does it; true when the DRAM loader
// was sent.
bool BootAndSendDram(HostPort& port, const fs::path& link, const SessionHeader& h,
                     unsigned bootBaud) {
    if (!port.Open(link, bootBaud) || port.Read(1) != Bytes{'X'}) return false;
    TargetModel unused{TargetConfig{}};
    HostScript script(unused);
    auto answer = script.BootAnswer(h);
    port.Write(std::span(answer).first(1));
    std::this_thread::sleep_for(50ms);
    port.Write(std::span(answer).subspan(1));
    if (!port.FramesUntil({'c', 'A'})) return false;
    std::this_thread::sleep_for(10ms);
    port.Open(link, 115200);
    if (!port.FramesUntil({'c', 'B'})) return false;
    auto dram = script.images.DramImage(ChipFamily::BigEndian);
    port.Write(Length3(dram.size()));
    if (!port.FramesUntil({'v', Xor3(dram.size())}, 2s)) return false;
    port.Write(dram);
    return true;
}

// From the DRAM loader's 'V' to the end of the data member.
bool SendMember(HostPort& port, const Bytes& member, size_t sendBytes) {
    if (!port.FramesUntil({'c', 'V'})) return false;
    port.Write(Bytes(8, 0));
    if (!port.FramesUntil({'c', 'D'})) return false;
    port.Write(Length3(member.size()));
    if (!port.FramesUntil({'w', Xor3(member.size())})) return false;
    port.Write(std::span(member).first(sendBytes));
    return true;
}

// One board through a cancelled Download, a whole one and a Dump of the whole flash. Paced,
// so that the host writes far faster than the line carries, as a real port's queue would.
TEST(PtyBoard, CancelDownloadAndDumpOnOneBoard) {
    SimProcess sim;
    const uint32_t start = 0x8000, size = 0x8000, flipped = start + 0x10;
    ASSERT_TRUE(sim.Start({"--xtal", "13.5", "--flash-size", "64K", "--fill", "0x00", "--pace", "4",
                           "--corrupt-flash-byte", std::to_string(flipped)}));
    HostPort port;
    ASSERT_TRUE(port.Open(sim.Link(), 115200));
    Bytes heard = port.Read(5, 3s);
    EXPECT_FALSE(heard.empty()) << "the board keeps prompting";
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 'X'), 0) << "at another speed: garbage";

    const Bytes data = Pattern(20000, 21);
    const Bytes member = Gzip(data);
    const SessionHeader download = Header(4, OperationMode::Download, start, size, 13500);
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(), download, 57600)) << sim.Log();
    ASSERT_TRUE(SendMember(port, member, member.size() / 2));
    port.Close();  // cancelled mid-stream: what the host had queued must not reach the next one
    for (auto until = Clock::now() + 10s; !sim.Logged("host had queued") && Clock::now() < until;)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(sim.Logged("host had queued")) << sim.Log();
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(), download, 57600)) << sim.Log();
    ASSERT_TRUE(SendMember(port, member, member.size()));
    EXPECT_TRUE(port.FramesUntil({'c', 'O'})) << sim.Log();
    port.Close();

    Bytes expected(64 * 1024, 0x00);
    std::fill(expected.begin() + start, expected.begin() + start + size, 0xFF);
    std::copy(data.begin(), data.end(), expected.begin() + start);
    expected[flipped] = static_cast<uint8_t>(~expected[flipped]);
    ASSERT_TRUE(BootAndSendDram(port, sim.Link(),
                                Header(4, OperationMode::Dump, 0, 64 * 1024, 13500), 57600));
    ASSERT_TRUE(port.FramesUntil({'c', 'G'}));
    EXPECT_EQ(port.Read(64 * 1024, 30s), expected);
    port.Close();
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::exists(sim.Link())) << "link removed at exit";
    EXPECT_EQ(sim.Flash(), expected);
}

TEST(PtyBoard, RefusesWhatDoesNotFitItsFlash) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"--flash-size", "64K"}, "holds 1000 bytes, not the 65536 of --flash-size"},
        {{"--corrupt-flash-byte", "1000"}, "--corrupt-flash-byte 1000 lies beyond the 1000-byte"},
        {{"--flash-size", "18014398509481985K"},
         "--flash-size: '18014398509481985K' is not a size"},
    };
    for (const Case& c : cases) {
        SimProcess sim;
        { std::ofstream(sim.FlashFile(), std::ios::binary) << std::string(1000, '\xFF'); }
        EXPECT_FALSE(sim.Start(c.args));
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.Log().find(c.message), std::string::npos) << sim.Log();
    }
}

}  // namespace
}  // namespace pelorin::sim::test
