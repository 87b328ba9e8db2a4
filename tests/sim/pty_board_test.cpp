// pelorin-sim as a process behind its pseudo-terminal, driven by a host scripted by hand: line
// speeds, a host that closes mid-stream, a paced dump, the flash file, refused starts. The
// command line's runs against it are tested end to end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <utility>

#include "config/temp_dir.h"
#include "e2e/child_process.h"
#include "sim/host_script.h"

namespace pelorin::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using testing::ChildProcess;
using testing::TempDir;

std::vector<std::string> SimArgs(const TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(),
                {PELORIN_SIM_PATH, "--link", (dir / "board").string(), "--flash",
                 (dir / "flash.bin").string(), "--pace", "unpaced", "--prompt-ms", "20"});
    return args;
}

// The host's end: the slave opened through the link, raw, at a chosen speed.
class HostPort {
  public:
    ~HostPort() { Close(); }
    bool Open(const std::filesystem::path& path, speed_t speed) {
        Close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (fd_ < 0 || tcgetattr(fd_, &tio) != 0) return false;
        cfmakeraw(&tio);
        cfsetspeed(&tio, speed);
        return tcsetattr(fd_, TCSANOW, &tio) == 0 && tcflush(fd_, TCIOFLUSH) == 0;
    }
    void Close() { ::close(std::exchange(fd_, -1)); }
    bool Write(std::span<const uint8_t> bytes) {
        for (auto until = Clock::now() + 10s; !bytes.empty() && Clock::now() < until;) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n > 0)
                bytes = bytes.subspan(static_cast<size_t>(n));
            else
                std::this_thread::sleep_for(1ms);
        }
        return bytes.empty();
    }
    bool Then(std::span<const uint8_t> bytes, Frame answer) {
        return Write(bytes) && FramesUntil(answer);
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
        const Bytes frame = {0xFE, last.cls, last.value, 0xFF};
        Bytes seen;
        for (auto until = Clock::now() + timeout; Clock::now() < until;) {
            for (uint8_t b : Read(1, 100ms)) seen.push_back(b);
            if (seen.size() >= 4 && std::equal(frame.begin(), frame.end(), seen.end() - 4))
                return true;
        }
        return false;
    }

  private:
    int fd_ = -1;
};

// Prompt, block, speed switch and DRAM loader, as a host does it; true when the DRAM loader
// was sent.
bool BootAndSendDram(HostPort& port, const std::filesystem::path& link, const SessionHeader& h) {
    if (!port.Open(link, B57600) || port.Read(1) != Bytes{'X'}) return false;
    TargetModel unused{TargetConfig{}};
    HostScript script(unused);
    const auto answer = script.BootAnswer(h);
    const auto dram = script.images.DramImage(ChipFamily::BigEndian);
    port.Write(std::span(answer).first(1));
    std::this_thread::sleep_for(50ms);
    if (!port.Then(std::span(answer).subspan(1), {'c', 'A'})) return false;
    std::this_thread::sleep_for(10ms);
    return port.Open(link, B115200) && port.FramesUntil({'c', 'B'}) &&
           port.Then(Length3(dram.size()), {'v', Xor3(dram.size())}) && port.Write(dram);
}

// From the DRAM loader's 'V' to the end of the data member.
bool SendMember(HostPort& port, const Bytes& member, size_t sendBytes) {
    return port.FramesUntil({'c', 'V'}) && port.Then(Bytes(8, 0), {'c', 'D'}) &&
           port.Then(Length3(member.size()), {'w', Xor3(member.size())}) &&
           port.Write(std::span(member).first(sendBytes));
}

// One board through a cancelled Download, a whole one and a Dump of the whole flash. Paced,
// so that the host writes far faster than the line carries, as a real port's queue would.
TEST(PtyBoard, CancelDownloadAndDumpOnOneBoard) {
    TempDir dir;
    ChildProcess sim;
    const std::filesystem::path link = dir / "board";
    const uint32_t start = 0x8000, size = 0x8000, flipped = start + 0x10;
    ASSERT_TRUE(
        sim.Start(SimArgs(dir, {"--xtal", "13.5", "--flash-size", "64K", "--fill", "0x00", "--pace",
                                "4", "--corrupt-flash-byte", std::to_string(flipped)})));
    for (int i = 0; i < 1000 && !std::filesystem::is_symlink(link); ++i)
        std::this_thread::sleep_for(10ms);
    HostPort port;
    ASSERT_TRUE(port.Open(link, B115200));
    const Bytes heard = port.Read(5, 3s);
    EXPECT_FALSE(heard.empty()) << "the board keeps prompting";
    EXPECT_EQ(std::count(heard.begin(), heard.end(), 'X'), 0) << "at another speed: garbage";
    const Bytes data = Pattern(20000, 21), member = Gzip(data);
    const SessionHeader download = Header(4, OperationMode::Download, start, size, 13500);
    ASSERT_TRUE(BootAndSendDram(port, link, download)) << sim.Out();
    ASSERT_TRUE(SendMember(port, member, member.size() / 2));
    port.Close();  // cancelled mid-stream: what the host had queued must not reach the next one
    ASSERT_TRUE(sim.WaitForOutput("host had queued", 10s)) << sim.Out();
    ASSERT_TRUE(BootAndSendDram(port, link, download)) << sim.Out();
    ASSERT_TRUE(SendMember(port, member, member.size()));
    EXPECT_TRUE(port.FramesUntil({'c', 'O'})) << sim.Out();

    Bytes expected(64 * 1024, 0x00);
    std::fill(expected.begin() + start, expected.begin() + start + size, 0xFF);
    std::copy(data.begin(), data.end(), expected.begin() + start);
    expected[flipped] = static_cast<uint8_t>(~expected[flipped]);
    ASSERT_TRUE(BootAndSendDram(port, link, Header(4, OperationMode::Dump, 0, 0x10000, 13500)));
    ASSERT_TRUE(port.FramesUntil({'c', 'G'}));
    EXPECT_EQ(port.Read(64 * 1024, 30s), expected);
    port.Close();
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(10s), 0);
    EXPECT_FALSE(std::filesystem::exists(link)) << "link removed at exit";
    EXPECT_EQ(testing::ReadBytes(dir / "flash.bin"), expected);
}

// A flash that another board uses, or that does not fit, refuses the start.
TEST(PtyBoard, RefusedStarts) {
    {
        TempDir dir;
        ChildProcess first, second;
        ASSERT_TRUE(first.Start(SimArgs(dir, {})));
        ASSERT_TRUE(first.WaitForOutput("board on", 10s)) << first.Err();
        ASSERT_TRUE(second.Start(SimArgs(dir, {"--link", (dir / "board2").string()})));
        EXPECT_EQ(second.Wait(10s), 2);
        EXPECT_NE(second.Err().find("the simulated board is busy: its flash file " +
                                    (dir / "flash.bin").string()),
                  std::string::npos)
            << second.Err();
        first.Signal(SIGTERM);
        EXPECT_EQ(first.Wait(10s), 0);
    }
    const struct {
        const char *option, *value, *message;
    } cases[] = {
        {"--flash-size", "64K", "holds 1000 bytes, not the 65536 of --flash-size"},
        {"--corrupt-flash-byte", "1000", "--corrupt-flash-byte 1000 lies beyond the 1000-byte"}};
    for (const auto& [option, value, message] : cases) {
        TempDir dir;
        testing::WriteText(dir / "flash.bin", std::string(1000, '\xFF'));
        ChildProcess sim;
        ASSERT_TRUE(sim.Start(SimArgs(dir, {option, value})));
        EXPECT_EQ(sim.Wait(10s), 2);
        EXPECT_NE(sim.Err().find(message), std::string::npos) << sim.Err();
    }
}

}  // namespace
}  // namespace pelorin::sim::test
