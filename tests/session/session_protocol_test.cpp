// The host side of the protocol against a scripted port: bytes on the line, their order and
// pauses, and every notification with its values; and the time-out watchdog those
// notifications feed.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "session/session_protocol.h"
#include "session/watchdog.h"
#include "session_fakes.h"

namespace pelorin {
namespace {

using testing::Event;
using Bytes = std::vector<uint8_t>;
using Post = std::array<int64_t, 3>;
using Lines = std::vector<std::string>;

constexpr int64_t U = WM_SESSION_UPDATE, SEND_END = WM_SESSION_SEND_END,
                  FINISHED = WM_SESSION_FINISHED, SEND_BEGIN = WM_SESSION_SEND_BEGIN;

Bytes Frame(char cls, uint8_t value) {
    return {0xFE, uint8_t(cls), value, 0xFF};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<Post> FinishingPosts(char letter) {
    return {{U, 0, letter}, {U, 2, 100},      {SEND_END, 0, 0},
            {U, 1, 100},    {SEND_END, 0, 0}, {FINISHED, 0, 0}};
}

class SessionProtocolTest : public ::testing::Test {
  protected:
    SessionProtocolTest() { SetHeader(0, 0); }
    ~SessionProtocolTest() override {
        shared.dumpFile.Close();
        for (auto& p : cleanup) std::filesystem::remove(p);
    }

    // Crystal 13500, DDRAM of 512 Mbit in burst mode.
    void SetHeader(uint8_t mode, uint8_t chip, uint32_t start = 0x10000, uint32_t size = 0x120000) {
        shared.SetSessionHeader({.mode = mode,
                                 .chipCode = chip,
                                 .crystalKhz = 13500,
                                 .memoryType = 1,
                                 .memorySize = 3,
                                 .startAddress = start,
                                 .sectionSize = size,
                                 .sdramMode = 1});
    }
    // Delivers `bytes` as one read and runs one notification.
    void Feed(const Bytes& bytes) {
        port.reads.push_back(bytes);
        protocol.OnReceive(protocol.ActivePort());
    }
    std::filesystem::path TempFile(const std::string& name, const Bytes& content) {
        cleanup.push_back(std::filesystem::temp_directory_path() /
                          (name + "-" + std::to_string(::getpid())));
        std::ofstream(cleanup.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
        return cleanup.back();
    }
    // Writes and sleeps only, as the target sees the line.
    Lines LineView() const {
        Lines out;
        for (const Event& e : timeline.events) {
            if (e.kind == Event::Sleep) out.push_back("sleep " + std::to_string(e.ms));
            if (e.kind == Event::Write) out.push_back("write " + std::to_string(e.bytes.size()));
        }
        return out;
    }

    testing::Timeline timeline;
    testing::FakePort port{timeline};
    SharedState shared;
    TargetImages images;
    SessionProtocol protocol{port, timeline, timeline, timeline, shared, images};
    std::vector<std::filesystem::path> cleanup;
};

// The answer, its pauses, and the whole 2048-byte block: image, zero padding, and at 2016 every
// header field in the family's byte order.
TEST_F(SessionProtocolTest, BootRomAnswerAndBlockByFamily) {
    struct Case {
        uint8_t chip;
        Bytes prompt;
        Lines line;
        Bytes lead;
        Bytes header;
    };
    const Case cases[] = {
        {0,
         {'X'},
         {"write 1", "sleep 50", "write 2048"},
         {0x18},
         {0, 0, 0x34, 0xBC, 0, 1, 3, 0, 0, 1, 0, 0, 0, 0x12, 0, 0, 0, 1}},
        {33,
         {0x00, 'X'},
         {"write 1", "sleep 50", "write 4", "sleep 10", "write 2048"},
         {0x59, 0, 2, 0, 0},
         {0, 33, 0xBC, 0x34, 0, 1, 3, 0, 0, 0, 1, 0, 0, 0, 0x12, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.chip));
        timeline.Clear();
        SetHeader(0, c.chip);
        shared.awaitBootRom = true;
        Feed(c.prompt);
        EXPECT_EQ(LineView(), c.line);
        Bytes expected = c.lead;
        auto image = images.BootImage(ChipForCode(c.chip)->bootImage);
        expected.insert(expected.end(), image.begin(), image.end());
        expected.resize(c.lead.size() + 2016, 0);
        expected.insert(expected.end(), c.header.begin(), c.header.end());
        expected.resize(c.lead.size() + 2048, 0);
        EXPECT_EQ(timeline.Written(), expected);
        EXPECT_FALSE(shared.awaitBootRom);
        EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'U'}}));
        EXPECT_EQ(shared.StatusText(), "Send bootload bin");
    }
    // A chip code without an image is refused, never sent an empty block.
    timeline.Clear();
    SetHeader(0, 20);
    shared.awaitBootRom = true;
    Feed({'X'});
    EXPECT_TRUE(timeline.Written().empty());
    EXPECT_EQ(timeline.Prompts(), Lines{std::string("Error: ") + kNoBootImageText});
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SessionProtocolTest, PromptCountsOnlyInShortReadsWhileAwaited) {
    Feed({'X'});  // not awaited: just scanned and ignored
    EXPECT_TRUE(timeline.events.empty());
    shared.awaitBootRom = true;
    Feed(Bytes(8, 'X'));  // 8 bytes: too long to be a prompt
    EXPECT_TRUE(timeline.Written().empty());
    Feed({'a', 'X', 'b'});
    EXPECT_EQ(timeline.Written().size(), 2049u);
    // Another port's notification reads nothing.
    port.reads.push_back({'X'});
    protocol.OnReceive(protocol.ActivePort() + 1);
    EXPECT_EQ(port.reads.size(), 1u);
}

// The DRAM image's length, then the image once its check value came back; the hardware
// information only for chip 8 at 0x30000, 8 zeros for every other.
TEST_F(SessionProtocolTest, StageAnswersOnTheWire) {
    const std::array<uint8_t, 8> info{1, 2, 3, 4, 5, 6, 7, 8};
    shared.SetHardwareInfo(info);
    auto big = images.DramImage(ChipFamily::BigEndian);
    auto little = images.DramImage(ChipFamily::LittleEndian);
    struct Case {
        uint8_t chip;
        uint32_t start;
        Bytes feed;
        Lines line;
        Bytes written;
        std::vector<Post> posts;
    };
    const Case cases[] = {
        {5,
         0x10000,
         Cat({Frame('c', 'B'), Frame('v', 0x6B)}),
         {"sleep 10", "write 3", "sleep 50", "write 16212"},
         Cat({{0x54, 0x3F, 0x00}, Bytes(big.begin(), big.end())}),
         {{U, 0, 'B'}, {U, 0, 'S'}, {SEND_BEGIN, 16212, 0}, {U, 1, 0}}},
        {32,
         0x10000,
         Cat({Frame('c', 'B'), Frame('v', 0x16)}),
         {"sleep 10", "write 3", "sleep 50", "write 27260"},
         Cat({{0x7C, 0x6A, 0x00}, Bytes(little.begin(), little.end())}),
         {{U, 0, 'B'}, {U, 0, 'S'}, {SEND_BEGIN, 27260, 0}, {U, 1, 0}}},
        {8,
         0x30000,
         Frame('c', 'V'),
         {"sleep 10", "write 8"},
         Bytes(info.begin(), info.end()),
         {{U, 0, 'V'}}},
        {8, 0x10000, Frame('c', 'V'), {"sleep 10", "write 8"}, Bytes(8, 0), {{U, 0, 'V'}}},
        {7, 0x30000, Frame('c', 'V'), {"sleep 10", "write 8"}, Bytes(8, 0), {{U, 0, 'V'}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        timeline.Clear();
        SetHeader(0, c.chip, c.start);
        Feed(c.feed);
        EXPECT_EQ(LineView(), c.line);
        EXPECT_EQ(timeline.Written(), c.written);
        EXPECT_EQ(timeline.Posts(), c.posts);
    }
    // A wrong check value (the other family's): nothing sent, the port closed, "Send data
    // error!", no finish.
    timeline.Clear();
    SetHeader(0, 32);
    Feed(Cat({Frame('c', 'B'), Frame('v', 0x6B)}));
    EXPECT_EQ(LineView(), (Lines{"sleep 10", "write 3"}));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(timeline.Prompts(), Lines{"Error: Send data error!"});
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'B'}, {U, 0, 'S'}, {U, 1, 0}}));
}

TEST_F(SessionProtocolTest, FramesSplitNoisyAndMalformed) {
    // Noise in front, a frame split over two reads; a stray start mark does not swallow the
    // frame right behind it.
    Feed({0x13, 0xFE, 'c', 'A', 0x00, 0xFE, 'c'});
    Feed({'H', 0xFF, 0xFE, 0xFE, 'c', 'I', 0xFF});
    EXPECT_EQ(timeline.Posts(),
              (std::vector<Post>{{U, 0, 'H'}, {U, 1, 50}, {U, 0, 'I'}, {U, 1, 75}}));
    // Unknown classes and letters are consumed silently; 'c' 'A' reopens at loader speed.
    timeline.Clear();
    Feed(Cat({Frame('z', 1), Frame('c', 'Z'), Frame('e', 'Q'), Frame('c', 'A')}));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'A'}}));
    EXPECT_EQ(timeline.Of(Event::Open, &Event::text), Lines{"115200,n,8,1"});
    EXPECT_EQ(timeline.Of(Event::Open, &Event::ms), std::vector<unsigned>{protocol.ActivePort()});
    EXPECT_EQ(LineView(), Lines{"sleep 10"});
    // A flood of noise, each read ending in a start mark, neither overflows nor blocks frames.
    Bytes noise(kChunkBytes);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 7 + 1) | 0x01;
    noise.back() = 0xFE;
    for (int i = 0; i < 30; ++i) Feed(noise);
    Feed(Cat({Bytes{0x00, 0x00}, Frame('c', 'F')}));
    EXPECT_EQ(timeline.Posts().back(), (Post{U, 0, 'F'}));
}

TEST_F(SessionProtocolTest, DataStreamInChunksEndingWithRemainder) {
    for (size_t length : {size_t{3 * kChunkBytes}, size_t{2 * kChunkBytes + 77}}) {
        timeline.Clear();
        Bytes data(length);
        for (size_t i = 0; i < length; ++i) data[i] = uint8_t(i * 31);
        shared.SetDataFilePath(TempFile("data", data).string());
        Feed(Frame('c', 'D'));
        Bytes announced{uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16)};
        EXPECT_EQ(timeline.Written(), announced);
        timeline.Clear();
        Feed(Frame('w', announced[0] ^ announced[1] ^ announced[2]));
        Lines expected;
        for (size_t sent = 0; sent + kChunkBytes <= length; sent += kChunkBytes)
            expected.insert(expected.end(), {"sleep 10", "write 10240"});
        expected.insert(expected.end(),
                        {"sleep 10", "write " + std::to_string(length % kChunkBytes)});
        EXPECT_EQ(LineView(), expected) << length;
        EXPECT_EQ(timeline.Written(), data);
        EXPECT_EQ(timeline.Posts(),
                  (std::vector<Post>{{U, 0, 'K'}, {SEND_BEGIN, int64_t(length), 0}, {U, 1, 25}}));
    }
}

TEST_F(SessionProtocolTest, ProgressArithmetic) {
    struct Case {
        uint8_t mode;
        int base;
        Bytes feed;
        std::vector<Post> posts;
    };
    const Case cases[] = {
        {0, 25, Frame('p', 64), {{U, 2, 50}, {U, 1, 37}}},
        // Erase: base 33 from 'H', progress adds up to 33.3 points.
        {1,
         0,
         Cat({Frame('c', 'H'), Frame('p', 0), Frame('p', 128)}),
         {{U, 0, 'H'},
          {U, 1, 33},
          {U, 2, 0},
          {U, 1, 33},
          {U, 2, 100},
          {SEND_END, 0, 0},
          {U, 1, 66}}},
        // Download at 'I' reaches 100 with the last frame.
        {0,
         0,
         Cat({Frame('c', 'I'), Frame('p', 128)}),
         {{U, 0, 'I'}, {U, 1, 75}, {U, 2, 100}, {SEND_END, 0, 0}, {U, 1, 100}, {SEND_END, 0, 0}}},
        // A dump only changes the status line at 'H'; an unknown mode posts no main.
        {2, 0, Frame('c', 'H'), {{U, 0, 'H'}}},
        {7, 0, Frame('p', 10), {{U, 2, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        timeline.Clear();
        SetHeader(c.mode, 0);
        protocol.SetMainBase(c.base);
        Feed(c.feed);
        EXPECT_EQ(timeline.Posts(), c.posts);
    }
}

// Each ending closes the port first, then finishes, beeps, and only then shows its message.
TEST_F(SessionProtocolTest, EndingsAndTheirSequence) {
    // `says` in a message box with `prompt`, else on the status line.
    struct Case {
        Bytes frame;
        char letter;
        bool prompt;
        const char* says;
    };
    const Case cases[] = {
        {Frame('c', 'O'), 'O', false, "Mission completed"},
        {Frame('c', 'P'), 'P', false, "Invalid bin file.The hardware version is incorrect."},
        {Frame('e', 'N'), 'N', true, "Error: Decompress file error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter);
        port.Open(1, "115200,n,8,1");
        timeline.Clear();
        Feed(c.frame);
        EXPECT_EQ(timeline.Posts(), FinishingPosts(c.letter));
        EXPECT_FALSE(port.IsOpen());
        const auto& e = timeline.events;
        EXPECT_EQ(e.front().kind, Event::Close);
        EXPECT_EQ(e.back().kind, c.prompt ? Event::Prompt : Event::Beep);
        EXPECT_EQ(e[e.size() - 1 - c.prompt].kind, Event::Beep);
        EXPECT_EQ(c.prompt ? timeline.Prompts().at(0) : shared.StatusText(), c.says);
    }
}

TEST_F(SessionProtocolTest, DumpReceptionToExactSectionSize) {
    const uint32_t size = 25000;
    SetHeader(2, 0, 0x10000, size);
    auto path = TempFile("dump", {});
    ASSERT_TRUE(shared.dumpFile.Create(path.string()));
    Bytes flash(size + 500);
    for (size_t i = 0; i < flash.size(); ++i) flash[i] = uint8_t(i ^ (i >> 8));
    // Data right behind the 'G' frame in the same read is dump data, not frames.
    Feed(Cat({Frame('c', 'G'), Bytes(flash.begin(), flash.begin() + 1000)}));
    EXPECT_TRUE(protocol.Dumping());
    EXPECT_EQ(timeline.Posts(),
              (std::vector<Post>{{U, 0, 'G'}, {U, 2, 0}, {U, 1, 25}, {U, 2, 4}, {U, 1, 28}}));
    timeline.Clear();
    Feed(Bytes(flash.begin() + 1000, flash.begin() + 10000));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 2, 40}, {U, 1, 55}}));
    timeline.Clear();
    // The last read overshoots: only the missing bytes are kept.
    Feed(Bytes(flash.begin() + 10000, flash.end()));
    Feed(Bytes(flash.begin() + 20000, flash.end()));
    EXPECT_FALSE(protocol.Dumping());
    EXPECT_FALSE(shared.dumpFile.IsOpen());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(shared.StatusText(), "Mission completed");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(Bytes((std::istreambuf_iterator<char>(in)), {}),
              Bytes(flash.begin(), flash.begin() + size));
    auto posts = timeline.Posts();
    EXPECT_EQ(std::vector<Post>(posts.end() - 6, posts.end()), FinishingPosts('O'));
}

// A dump never reports success unless the whole section arrived; what came is kept apart and
// an earlier file under the target's name survives every failure.
TEST_F(SessionProtocolTest, DumpFailuresKeepTheEarlierFileAndThePartialOne) {
    SetHeader(2, 0, 0x10000, 4000);
    auto path = TempFile("earlier", Bytes(16, 0x42));
    cleanup.push_back(path.string() + ".partial");
    auto finished = [&] {
        auto posts = timeline.Posts();
        return std::count_if(posts.begin(), posts.end(),
                             [](const Post& p) { return p[0] == FINISHED; });
    };

    // The loader ends before 'G': nothing arrived, no success.
    ASSERT_TRUE(shared.dumpFile.Create(path.string()));
    Feed(Cat({Frame('c', 'F'), Frame('c', 'O')}));
    EXPECT_EQ(timeline.Prompts(), Lines{"Error: The dump ended early: 0 of 4000 bytes arrived."});
    EXPECT_EQ(finished(), 0);
    EXPECT_FALSE(shared.dumpFile.IsOpen());
    EXPECT_EQ(shared.dumpFile.KeptPath(), "");

    // A write that fails closes the file at once, keeps what arrived, and says why.
    port.Open(1, "115200,n,8,1");
    timeline.Clear();
    ASSERT_TRUE(shared.dumpFile.Create(path.string()));
    Feed(Cat({Frame('c', 'G'), Bytes(1000, 0x11)}));
    rlimit saved{}, small{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    small = {1500, saved.rlim_max};  // the file may not grow past 1500 bytes
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    Feed(Bytes(1000, 0x22));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(protocol.Dumping());
    EXPECT_FALSE(shared.dumpFile.IsOpen());
    EXPECT_EQ(timeline.Prompts(), Lines{"Error: Can't write the dump file!\nFile too large"});
    EXPECT_EQ(finished(), 0);
    EXPECT_EQ(shared.dumpFile.KeptPath(), path.string() + ".partial");
    EXPECT_EQ(std::filesystem::file_size(path.string() + ".partial"), shared.dumpFile.Bytes());
    EXPECT_GE(shared.dumpFile.Bytes(), 1000u);
    EXPECT_EQ(std::filesystem::file_size(path), 16u);
}

int TicksUntilMessage(Watchdog& w, int limit = 1000) {
    for (int i = 1; i <= limit; ++i)
        if (w.Tick()) return i;
    return -1;
}

TEST(Watchdog, CountHoldAndWrap) {
    Watchdog w;
    EXPECT_EQ(TicksUntilMessage(w, 300), -1);  // not armed before the first stage
    w.OnSessionUpdate(0, 'U');
    EXPECT_EQ(TicksUntilMessage(w), 16);
    EXPECT_EQ(TicksUntilMessage(w), 256);  // the count wraps
    // Progress alone keeps it quiet, whatever the stage.
    w.OnSessionUpdate(0, 'G');
    for (int i = 0; i < 100; ++i) {
        for (int k = 0; k < 15; ++k) EXPECT_FALSE(w.Tick());
        w.OnSessionUpdate(2, i);
    }
    EXPECT_EQ(TicksUntilMessage(w), 16);
    // Held after the data stream starts and at every ending; progress does not re-arm it.
    for (char stage : {'K', 'O', 'N', 'P'}) {
        Watchdog held;
        held.OnSessionUpdate(0, 'D');
        held.OnSessionUpdate(0, stage);
        held.OnSessionUpdate(1, 30);
        EXPECT_EQ(TicksUntilMessage(held, 600), -1) << stage;
    }
    w.OnSessionUpdate(0, 'K');
    w.OnSessionUpdate(0, 'H');  // a later stage arms it again
    EXPECT_EQ(TicksUntilMessage(w), 16);
    w.Stop();
    EXPECT_EQ(TicksUntilMessage(w, 600), -1);
}

// The stage's letter as a number, the two checks every message has, and a third where the
// stage points at a cause.
TEST(Watchdog, MessageNamesTheStage) {
    const std::string head =
        "),please check:\n   1. Cable is connected correctly.\n   2. Target board is power on.\n";
    struct Case {
        char stage;
        const char* third;
    };
    const Case cases[] = {{'U', "chip type selection is not correct.(Bootloader is not running)\n"},
                          {'A', "(Bootloader is already running)\n"},
                          {'S', "memory type or the memory size"},
                          {'F', "May be the memory size selection"},
                          {'I', "   3. Flash is not working properly.\n"},
                          {'B', nullptr},
                          {'V', nullptr},
                          {'D', nullptr},
                          {'G', nullptr}};
    for (const Case& c : cases) {
        const std::string text = TimeoutMessageText(c.stage);
        EXPECT_EQ(text.substr(0, 11 + head.size()),
                  "Time Out(" + std::to_string(int(c.stage)) + head)
            << c.stage;
        if (c.third) {
            EXPECT_NE(text.find(c.third), std::string::npos) << c.stage;
        } else {
            EXPECT_EQ(text.size(), 11 + head.size()) << c.stage;
        }
    }
}

}  // namespace
}  // namespace pelorin
