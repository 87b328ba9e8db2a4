// The host side of the protocol against a scripted port: bytes on the line, their order and
// pauses, and every notification with its values.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "session/session_protocol.h"
#include "session/stage_texts.h"
#include "session_fakes.h"

namespace pelorin {
namespace {

using testing::Event;
using Bytes = std::vector<uint8_t>;
using Post = std::array<int64_t, 3>;

constexpr int64_t U = WM_SESSION_UPDATE, SEND_END = WM_SESSION_SEND_END,
                  FINISHED = WM_SESSION_FINISHED, SEND_BEGIN = WM_SESSION_SEND_BEGIN;

Bytes Frame(char cls, uint8_t value) { return {0xFE, uint8_t(cls), value, 0xFF}; }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class SessionProtocolTest : public ::testing::Test {
protected:
    SessionProtocolTest() { SetHeader(0, 0); }

    void SetHeader(uint8_t mode, uint8_t chip, uint32_t start = 0x10000, uint32_t size = 0x120000) {
        SessionHeader h;
        h.mode = mode;
        h.chipCode = chip;
        h.crystalKhz = 13500;
        h.startAddress = start;
        h.sectionSize = size;
        h.memoryType = 1;
        h.memorySize = 3;
        h.sdramMode = 1;
        shared.SetSessionHeader(h);
    }
    // Delivers `bytes` as one read and runs one notification.
    void Feed(const Bytes& bytes) {
        port.reads.push_back(bytes);
        protocol.OnReceive(protocol.ActivePort());
    }
    std::filesystem::path TempFile(const std::string& name, const Bytes& content) {
        auto path = std::filesystem::temp_directory_path() /
                    (name + "-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                    std::streamsize(content.size()));
        cleanup.push_back(path);
        return path;
    }
    ~SessionProtocolTest() override {
        shared.dumpFile.Close();
        for (auto& p : cleanup) std::filesystem::remove(p);
    }

    testing::Timeline timeline;
    testing::FakePort port{timeline};
    testing::RecordingSink sink{timeline};
    testing::RecordingPrompt prompt{timeline};
    testing::RecordingSleeper sleeper{timeline};
    SharedState shared;
    TargetImages images;
    SessionProtocol protocol{port, sink, prompt, sleeper, shared, images};
    std::vector<std::filesystem::path> cleanup;
};

// Writes and sleeps only, as the target sees the line.
std::vector<std::string> LineView(const testing::Timeline& t) {
    std::vector<std::string> out;
    for (const Event& e : t.events) {
        if (e.kind == Event::Sleep) out.push_back("sleep " + std::to_string(e.ms));
        if (e.kind == Event::Write) out.push_back("write " + std::to_string(e.bytes.size()));
    }
    return out;
}

TEST_F(SessionProtocolTest, BootRomHandshakeByFamily) {
    // Big-endian: 0x18, 50 ms, the 2048-byte block with no prefix.
    shared.awaitBootRom = true;
    Feed({'X'});
    EXPECT_EQ(LineView(timeline), (std::vector<std::string>{"write 1", "sleep 50", "write 2048"}));
    auto writes = timeline.Of(Event::Write);
    EXPECT_EQ(writes[0].bytes, Bytes{0x18});
    const Bytes& block = writes[1].bytes;
    auto image = images.BootImage(1);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), block.begin()));
    EXPECT_EQ(Bytes(block.begin() + 2018, block.begin() + 2020), (Bytes{0x34, 0xBC}));
    EXPECT_EQ(Bytes(block.begin() + 2024, block.begin() + 2032), (Bytes{0, 1, 0, 0, 0, 0x12, 0, 0}));
    // The whole header place, 2016..2047: every field in the family's order, the rest zero.
    Bytes tail(block.begin() + 2016, block.end());
    Bytes expected(32, 0);
    expected[2] = 0x34, expected[3] = 0xBC;                        // crystal 13500
    expected[9] = 0x01;                                            // start 0x10000
    expected[13] = 0x12;                                           // size 0x120000
    expected[5] = 1, expected[6] = 3, expected[17] = 1;            // memory type, size, SDRAM mode
    EXPECT_EQ(tail, expected);
    EXPECT_FALSE(shared.awaitBootRom);
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'U'}}));
    EXPECT_EQ(shared.StatusText(), "Send bootload bin");

    // Little-endian: 0x59, 50 ms, 00 02 00 00, 10 ms, the block; header unchanged.
    timeline.Clear();
    SetHeader(0, 33);
    shared.awaitBootRom = true;
    Feed({0x00, 'X'});
    EXPECT_EQ(LineView(timeline),
              (std::vector<std::string>{"write 1", "sleep 50", "write 4", "sleep 10", "write 2048"}));
    writes = timeline.Of(Event::Write);
    EXPECT_EQ(writes[0].bytes, Bytes{0x59});
    EXPECT_EQ(writes[1].bytes, (Bytes{0x00, 0x02, 0x00, 0x00}));
    EXPECT_EQ(Bytes(writes[2].bytes.begin() + 2018, writes[2].bytes.begin() + 2020), (Bytes{0xBC, 0x34}));
    EXPECT_EQ(Bytes(writes[2].bytes.begin() + 2024, writes[2].bytes.begin() + 2032),
              (Bytes{0, 0, 1, 0, 0, 0, 0x12, 0}));
    expected = Bytes(32, 0);
    expected[0] = 0, expected[1] = 33;
    expected[2] = 0xBC, expected[3] = 0x34;
    expected[10] = 0x01, expected[14] = 0x12;
    expected[5] = 1, expected[6] = 3, expected[17] = 1;
    EXPECT_EQ(Bytes(writes[2].bytes.begin() + 2016, writes[2].bytes.end()), expected);
}

TEST_F(SessionProtocolTest, PromptCountsOnlyInShortReadsWhileAwaited) {
    // With the prompt not awaited, 'X' is just scanned and ignored.
    Feed({'X'});
    EXPECT_TRUE(timeline.events.empty());
    shared.awaitBootRom = true;
    Feed(Bytes(8, 'X'));  // 8 bytes: too long to be a prompt
    EXPECT_TRUE(timeline.Of(Event::Write).empty());
    Feed({'a', 'X', 'b'});
    ASSERT_EQ(timeline.Of(Event::Write).size(), 2u);
    // Another port's notification reads nothing.
    port.reads.push_back({'X'});
    protocol.OnReceive(protocol.ActivePort() + 1);
    EXPECT_EQ(port.reads.size(), 1u);
}

TEST_F(SessionProtocolTest, ChipCodeWithoutImageIsRefused) {
    SetHeader(0, 20);
    shared.awaitBootRom = true;
    Feed({'X'});
    EXPECT_TRUE(timeline.Of(Event::Write).empty());
    ASSERT_EQ(timeline.Of(Event::Prompt).size(), 1u);
    EXPECT_EQ(timeline.Of(Event::Prompt)[0].text, std::string("Error: ") + kNoBootImageText);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SessionProtocolTest, DramImageAnnouncementAndCheckByFamily) {
    struct Case { uint8_t chip; Bytes announced; uint8_t check; size_t size; };
    for (const Case& c : {Case{5, {0x54, 0x3F, 0x00}, 0x6B, 16212}, Case{32, {0x7C, 0x6A, 0x00}, 0x16, 27260}}) {
        timeline.Clear();
        SetHeader(0, c.chip);
        Feed(Frame('c', 'B'));
        EXPECT_EQ(LineView(timeline), (std::vector<std::string>{"sleep 10", "write 3"}));
        EXPECT_EQ(timeline.Written(), c.announced);
        timeline.Clear();
        Feed(Frame('v', c.check));
        EXPECT_EQ(LineView(timeline), (std::vector<std::string>{"sleep 50", "write " + std::to_string(c.size)}));
        auto dram = images.DramImage(FamilyOfCode(c.chip));
        EXPECT_EQ(timeline.Written(), Bytes(dram.begin(), dram.end()));
        EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'S'}, {SEND_BEGIN, int64_t(c.size), 0}, {U, 1, 0}}));
    }
    // A wrong check value: nothing sent, the port closed, "Send data error!", no finish.
    timeline.Clear();
    Feed(Frame('c', 'B'));
    timeline.Clear();
    Feed(Frame('v', 0x6B));
    EXPECT_TRUE(timeline.Of(Event::Write).empty());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(timeline.Of(Event::Prompt)[0].text, "Error: Send data error!");
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'S'}, {U, 1, 0}}));
}

TEST_F(SessionProtocolTest, FramesSplitNoisyAndMalformed) {
    // Split over two reads, noise in front.
    Feed({0x13, 0x37, 0xFE, 'c'});
    EXPECT_TRUE(timeline.Posts().empty());
    Feed({'F', 0xFF});
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'F'}}));
    // A stray start mark does not swallow the frame right behind it.
    timeline.Clear();
    Feed({0xFE, 'c', 'A', 0x00, 0xFE, 'c', 'H', 0xFF});
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'H'}, {U, 1, 50}}));
    timeline.Clear();
    Feed({0xFE, 0xFE, 'c', 'I', 0xFF});
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'I'}, {U, 1, 75}}));
    // Unknown classes and letters are consumed silently; 'c' 'A' reopens at loader speed.
    timeline.Clear();
    Feed(Cat({Frame('z', 1), Frame('c', 'Z'), Frame('e', 'Q'), Frame('c', 'A')}));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'A'}}));
    auto opens = timeline.Of(Event::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "115200,n,8,1");
    EXPECT_EQ(opens[0].ms, protocol.ActivePort());
    EXPECT_EQ(LineView(timeline), std::vector<std::string>{"sleep 10"});
}

TEST_F(SessionProtocolTest, PendingAreaSurvivesFloodOfNoise) {
    Bytes noise(kChunkBytes);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 7 + 1) | 0x01;
    noise.back() = 0xFE;  // leaves a partial frame behind every read
    for (int i = 0; i < 30; ++i) Feed(noise);
    Feed(Cat({Bytes{0x00, 0x00}, Frame('c', 'F')}));
    EXPECT_EQ(timeline.Posts().back(), (Post{U, 0, 'F'}));
}

TEST_F(SessionProtocolTest, HardwareVersionAnswer) {
    std::array<uint8_t, 8> info{1, 2, 3, 4, 5, 6, 7, 8};
    shared.SetHardwareInfo(info);
    struct Case { uint8_t chip; uint32_t start; bool info; };
    for (const Case& c : {Case{8, 0x30000, true}, Case{8, 0x10000, false}, Case{7, 0x30000, false}}) {
        timeline.Clear();
        SetHeader(0, c.chip, c.start);
        Feed(Frame('c', 'V'));
        EXPECT_EQ(LineView(timeline), (std::vector<std::string>{"sleep 10", "write 8"}));
        EXPECT_EQ(timeline.Written(), c.info ? Bytes(info.begin(), info.end()) : Bytes(8, 0));
        EXPECT_EQ(shared.StatusText(), "Check hardware infomation...");
    }
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
        std::vector<std::string> expected;
        for (size_t sent = 0; sent + kChunkBytes <= length; sent += kChunkBytes) {
            expected.push_back("sleep 10");
            expected.push_back("write 10240");
        }
        expected.push_back("sleep 10");
        expected.push_back("write " + std::to_string(length % kChunkBytes));
        EXPECT_EQ(LineView(timeline), expected) << length;
        EXPECT_EQ(timeline.Written(), data);
        EXPECT_EQ(timeline.Posts(),
                  (std::vector<Post>{{U, 0, 'K'}, {SEND_BEGIN, int64_t(length), 0}, {U, 1, 25}}));
    }
}

TEST_F(SessionProtocolTest, ProgressArithmetic) {
    protocol.SetMainBase(25);
    Feed(Frame('p', 128));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 2, 100}, {SEND_END, 0, 0}, {U, 1, 50}}));
    timeline.Clear();
    Feed(Frame('p', 64));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 2, 50}, {U, 1, 37}}));
    // Erase: base 33 from 'H', progress adds up to 33.3 points.
    SetHeader(1, 0);
    timeline.Clear();
    Feed(Cat({Frame('c', 'H'), Frame('p', 0), Frame('p', 128)}));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'H'}, {U, 1, 33}, {U, 2, 0}, {U, 1, 33},
                                                   {U, 2, 100}, {SEND_END, 0, 0}, {U, 1, 66}}));
    // Download at 'I' reaches 100 with the last frame.
    SetHeader(0, 0);
    timeline.Clear();
    Feed(Cat({Frame('c', 'I'), Frame('p', 128)}));
    EXPECT_EQ(timeline.Posts().back(), (Post{SEND_END, 0, 0}));
    EXPECT_EQ(timeline.Posts()[timeline.Posts().size() - 2], (Post{U, 1, 100}));
    // A dump only changes the status line at 'H'; an unknown mode posts no main.
    SetHeader(2, 0);
    timeline.Clear();
    Feed(Frame('c', 'H'));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'H'}}));
    SetHeader(7, 0);
    timeline.Clear();
    Feed(Frame('p', 10));
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 2, 7}}));
}

std::vector<Post> FinishingPosts(char letter) {
    return {{U, 0, letter}, {U, 2, 100}, {SEND_END, 0, 0}, {U, 1, 100}, {SEND_END, 0, 0}, {FINISHED, 0, 0}};
}

TEST_F(SessionProtocolTest, EndingsAndTheirSequence) {
    Feed(Frame('c', 'O'));
    EXPECT_EQ(timeline.Posts(), FinishingPosts('O'));
    EXPECT_EQ(timeline.events.back().kind, Event::Beep);
    EXPECT_EQ(shared.StatusText(), "Mission completed");
    EXPECT_FALSE(port.IsOpen());

    port.Open(1, "115200,n,8,1");
    timeline.Clear();
    Feed(Frame('c', 'P'));
    EXPECT_EQ(timeline.Posts(), FinishingPosts('P'));
    EXPECT_EQ(shared.StatusText(), "Invalid bin file.The hardware version is incorrect.");

    port.Open(1, "115200,n,8,1");
    timeline.Clear();
    Feed(Frame('e', 'N'));
    EXPECT_EQ(timeline.Posts(), FinishingPosts('N'));
    // Closed first, beep before the message box, which comes last.
    EXPECT_EQ(timeline.events.front().kind, Event::Close);
    EXPECT_EQ(timeline.events.back().kind, Event::Prompt);
    EXPECT_EQ(timeline.events.back().text, "Error: Decompress file error");
    EXPECT_EQ(timeline.events[timeline.events.size() - 2].kind, Event::Beep);
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
    EXPECT_EQ(timeline.Posts(), (std::vector<Post>{{U, 0, 'G'}, {U, 2, 0}, {U, 1, 25}, {U, 2, 4}, {U, 1, 28}}));
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
    Bytes got((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(got, Bytes(flash.begin(), flash.begin() + size));
    auto posts = timeline.Posts();
    auto finishing = FinishingPosts('O');
    EXPECT_TRUE(std::equal(finishing.begin(), finishing.end(), posts.end() - long(finishing.size())));
}

}  // namespace
}  // namespace pelorin

namespace pelorin {
namespace {

// A dump never reports success unless the whole section arrived; what came is kept apart and
// an earlier file under the target's name survives every failure.
TEST_F(SessionProtocolTest, DumpFailuresKeepTheEarlierFileAndThePartialOne) {
    const uint32_t size = 4000;
    SetHeader(2, 0, 0x10000, size);
    auto path = TempFile("earlier", Bytes(16, 0x42));
    cleanup.push_back(path.string() + ".partial");

    // The loader ends before 'G': nothing arrived, no success.
    ASSERT_TRUE(shared.dumpFile.Create(path.string()));
    Feed(Frame('c', 'F'));
    Feed(Frame('c', 'O'));
    EXPECT_EQ(timeline.events.back().text, "Error: The dump ended early: 0 of 4000 bytes arrived.");
    EXPECT_EQ(std::count_if(timeline.events.begin(), timeline.events.end(),
                            [](const Event& e) { return e.kind == Event::Post && e.id == FINISHED; }),
              0);
    EXPECT_FALSE(shared.dumpFile.IsOpen());
    EXPECT_EQ(shared.dumpFile.KeptPath(), "");

    // A write that fails closes the file at once, keeps what arrived, and says why.
    port.Open(1, "115200,n,8,1");
    timeline.Clear();
    ASSERT_TRUE(shared.dumpFile.Create(path.string()));
    Feed(Cat({Frame('c', 'G'), Bytes(1000, 0x11)}));
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1500;
    ::setrlimit(RLIMIT_FSIZE, &small);
    Feed(Bytes(1000, 0x22));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(protocol.Dumping());
    EXPECT_FALSE(shared.dumpFile.IsOpen());
    EXPECT_EQ(timeline.events.back().text, "Error: Can't write the dump file!\nFile too large");
    EXPECT_EQ(shared.dumpFile.KeptPath(), path.string() + ".partial");
    EXPECT_EQ(std::filesystem::file_size(path.string() + ".partial"), shared.dumpFile.Bytes());
    EXPECT_GE(shared.dumpFile.Bytes(), 1000u);
    EXPECT_EQ(std::filesystem::file_size(path), 16u);
    // Only the earlier file and the partial one are there: no temporary file is left behind.
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(path.parent_path()))
        entries += e.path().filename().string().rfind(path.filename().string(), 0) == 0;
    EXPECT_EQ(entries, 2u);
}

}  // namespace
}  // namespace pelorin
