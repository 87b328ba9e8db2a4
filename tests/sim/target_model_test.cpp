// The target model against a host scripted by hand: what the boot ROM takes and refuses, the
// bounds of the loaders, and how each fault shows on the wire. Whole operations of the real
// session against the model are tested with the session.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "sim/host_script.h"
#include "sim/target_model.h"

namespace pelorin::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<Frame>;
constexpr size_t kFlashBytes = 256 * 1024;
constexpr auto kDownload = OperationMode::Download;
constexpr auto kErase = OperationMode::Erase;
constexpr auto kDump = OperationMode::Dump;

TargetConfig SmallBoard(unsigned crystalKhz = 27000, TargetFaults faults = {}) {
    TargetConfig config;
    config.crystalKhz = crystalKhz;
    config.flash = Pattern(kFlashBytes, 7);
    config.faults = faults;
    return config;
}

const Frame kA{'c', 'A'}, kB{'c', 'B'}, kV{'c', 'V'}, kD{'c', 'D'}, kF{'c', 'F'}, kG{'c', 'G'},
    kH{'c', 'H'}, kI{'c', 'I'}, kO{'c', 'O'}, kN{'e', 'N'}, kRun{'p', 128},
    kVcheck{'v', Xor3(kBigEndianDramImageSize)};

// The frames with each run of progress frames folded into kRun, checking that every run
// starts at 0, rises and ends at 128.
Frames FoldProgress(const Frames& frames) {
    Frames out;
    for (size_t i = 0; i < frames.size();) {
        if (frames[i].cls != 'p') {
            out.push_back(frames[i++]);
            continue;
        }
        EXPECT_EQ(frames[i].value, 0) << "a progress run starts at 0";
        uint8_t last = frames[i].value;
        for (++i; i < frames.size() && frames[i].cls == 'p'; ++i) {
            EXPECT_GT(frames[i].value, last) << "progress rises";
            last = frames[i].value;
        }
        EXPECT_EQ(last, 128) << "a progress run ends at 128";
        out.push_back(kRun);
    }
    return out;
}

bool Logged(const HostScript& host, const std::string& text) {
    return std::any_of(host.log.begin(), host.log.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// Frames out of the raw chunks: noise, dump data and split frames do not disturb it.
Frames FramesOfChunks(const HostScript& host) {
    Bytes all;
    for (const TargetChunk& c : host.chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    Frames out;
    for (size_t i = 0; i + 4 <= all.size(); ++i)
        if (all[i] == 0xFE && all[i + 3] == 0xFF) out.push_back({all[i + 1], all[i + 2]});
    return out;
}

// A Download up to the data member; returns the frames after it.
Frames DownloadMember(HostScript& host, const Bytes& member, uint32_t size = 0x10000) {
    host.Boot(Header(0, kDownload, 0x20000, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    host.Send(Bytes(8, 0), kLoaderBaud);
    host.Send(Length3(member.size()), kLoaderBaud);
    host.TakeFrames();
    host.Send(member, kLoaderBaud);
    return host.TakeFrames();
}

// ---------------------------------------------------------------- boot ROM

TEST(BootRom, AnswersOnlyAfterItsPromptAtTheCrystalSpeedThenSwitches) {
    TargetModel model(SmallBoard(13500));
    HostScript host(model);
    host.Send({0x18}, 57600);
    EXPECT_EQ(model.Stage(), 'X') << "an answer before any prompt is none";
    model.Prompt();
    host.Send({0x00, 'Z'}, 57600);
    EXPECT_TRUE(model.AwaitingAnswer()) << "only 0x18 and 0x59 answer";
    host.received.clear();
    EXPECT_EQ(host.Boot(Header(5, kErase, 0, 0x1000, 13500), 57600), (Frames{kA, kB}));
    // 'A' still leaves at the crystal's speed, 'B' at the loader's after its start-up time.
    ASSERT_EQ(host.chunks.size(), 4u);
    EXPECT_EQ(host.chunks[2].baud, 57600u);
    EXPECT_EQ(host.chunks[3].baud, 115200u);
    EXPECT_GT(host.chunks[3].holdMs, 0u);
    model.Prompt();
    host.Drain();
    EXPECT_TRUE(host.received.empty()) << "no prompt once the block is taken";
    // A host that did not switch to the loader's speed is not understood.
    host.Send(Length3(kBigEndianDramImageSize), 57600);
    auto frames = host.TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_NE(frames[0], kVcheck);
}

// An upload the boot ROM must refuse: byte `at` of the answer flipped by `flip`, or the
// answer changed by `spoil`.
struct BadBlock {
    const char* name;
    uint8_t chip;
    size_t at;
    uint8_t flip;
    const char* reason;  // part of the logged reason
    void (*spoil)(Bytes& answer, HostScript& host) = nullptr;
};
void PrintTo(const BadBlock& c, std::ostream* os) {
    *os << c.name;
}

class BootRomRefuses : public ::testing::TestWithParam<BadBlock> {};

TEST_P(BootRomRefuses, AndPromptsAgain) {
    const BadBlock& c = GetParam();
    TargetModel model(SmallBoard());
    HostScript host(model);
    model.Prompt();
    host.Drain();
    auto answer = host.BootAnswer(Header(c.chip, kErase, 0x10000, 0x1000));
    answer[c.at] ^= c.flip;
    if (c.spoil) c.spoil(answer, host);
    host.Send(answer, 115200);
    EXPECT_EQ(host.TakeFrames(), (Frames{})) << "the prompt only";
    EXPECT_TRUE(model.AwaitingAnswer());
    EXPECT_TRUE(Logged(host, c.reason)) << "no log line with " << c.reason;
    host.received.clear();
    EXPECT_EQ(host.Boot(Header(4, kErase, 0, 0x1000), 115200), (Frames{kA, kB}));
}

constexpr size_t kHeaderAt = 1 + kBootBlockHeaderOffset;  // behind the answer byte

INSTANTIATE_TEST_SUITE_P(
    BadBlocks, BootRomRefuses,
    ::testing::Values(
        BadBlock{"WrongImage", 4, 1 + 100, 0x40, "differs from image 2"},
        BadBlock{"NonZeroPadding", 4, 1 + 2000, 1, "padding byte at offset 2000"},
        BadBlock{"NonZeroTail", 4, 1 + 2046, 1, "after the header"},
        BadBlock{"UnknownChip", 4, kHeaderAt + 1, 4 ^ 20, "chip code 20"},
        BadBlock{"BadMode", 4, kHeaderAt, 1 ^ 3, "mode 3"},
        BadBlock{"WrongPrefix", 32, 2, 1, "wrong prefix"},
        BadBlock{"HostOrderHeader", 4, 0, 0, "crystal",
                 [](Bytes& a, HostScript&) {
                     auto wire =
                         Header(4, kErase, 0x10000, 0x1000).WireBytes(ChipFamily::LittleEndian);
                     std::copy(wire.begin(), wire.end(), a.begin() + kHeaderAt);
                 }},
        BadBlock{"FamilyMismatch", 4, 0, 0x18 ^ 0x59, "other family",
                 [](Bytes& a, HostScript&) {
                     a.insert(a.begin() + 1, {0x00, 0x02, 0x00, 0x00});
                 }},
        // Images 9 and 10 differ in six bytes only; the boot ROM still tells them apart.
        BadBlock{"SixBytesOff", 33, 0, 0, "differs from image 10", [](Bytes& a, HostScript& host) {
                     auto image9 = host.images.BootImage(9);
                     std::copy(image9.begin(), image9.end(), a.begin() + 5);
                 }}));

// ---------------------------------------------------------------- loaders

TEST(Loader, WrongDramImageIsNotRun) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    host.Boot(Header(2, kErase, 0, 0x1000), 115200);
    host.Send(Length3(kBigEndianDramImageSize), kLoaderBaud);
    EXPECT_EQ(host.TakeFrames(), (Frames{kVcheck}));
    // Bytes of the right length but of the other family's loader.
    host.Send(host.images.DramImage(ChipFamily::LittleEndian).first(kBigEndianDramImageSize),
              kLoaderBaud);
    EXPECT_TRUE(host.TakeFrames().empty());
    EXPECT_TRUE(model.Silent());
    EXPECT_FALSE(model.Finished());
}

// Download, Dump and Erase one after the other on one board, reset between them: each
// touches its section and nothing else.
TEST(Loader, EachModeKeepsToItsSection) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const uint32_t start = 0x20000, size = 0x10001;  // the dump's last chunk is one byte
    const auto outside = [&](Bytes flash) {          // the flash with the section blanked out
        std::fill(flash.begin() + start, flash.begin() + start + size, 0);
        return flash;
    };
    const auto section = [&] {
        return Bytes(model.Flash().begin() + start, model.Flash().begin() + start + size);
    };
    const Bytes before = model.Flash();
    Bytes expected(size, 0xFF);
    const Bytes data = Pattern(50000, 99);
    std::copy(data.begin(), data.end(), expected.begin());
    EXPECT_EQ(FoldProgress(DownloadMember(host, Gzip(data), size)),
              (Frames{kH, kRun, kI, kRun, kO}));
    EXPECT_EQ(section(), expected);
    EXPECT_EQ(outside(model.Flash()), outside(before));
    host.Send({0xFE, 'c', 'O', 0xFF}, kLoaderBaud);
    EXPECT_TRUE(host.received.empty()) << "finished: nothing more is sent";

    model.Reset();
    host.chunks.clear();
    host.Boot(Header(16, kDump, start, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    auto g = std::find_if(host.chunks.begin(), host.chunks.end(), [](const TargetChunk& c) {
        return c.bytes == Bytes{0xFE, 'c', 'G', 0xFF};
    });
    ASSERT_NE(g, host.chunks.end());
    Bytes dumped;
    for (auto it = g + 1; it != host.chunks.end(); ++it)
        dumped.insert(dumped.end(), it->bytes.begin(), it->bytes.end());
    EXPECT_EQ(dumped, expected) << "the dump data follows 'G' in chunks of its own";
    host.chunks.erase(g + 1, host.chunks.end());
    EXPECT_EQ(FoldProgress(FramesOfChunks(host)), (Frames{kA, kB, kVcheck, kF, kRun, kG}));

    model.Reset();
    host.received.clear();
    host.Boot(Header(14, kErase, start, size), 115200);
    EXPECT_EQ(FoldProgress(host.SendDram(ChipFamily::BigEndian)),
              (Frames{kVcheck, kRun, kH, kRun, kI, kRun, kO}));
    EXPECT_EQ(section(), Bytes(size, 0xFF));
    EXPECT_EQ(outside(model.Flash()), outside(before));
}

TEST(Loader, DumpOfASectionBeyondTheFlashReadsErased) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    host.Boot(Header(0, kDump, kFlashBytes - 0x100, 0x200), 115200);
    host.SendDram(ChipFamily::BigEndian);
    const Bytes& last = host.chunks.back().bytes;
    ASSERT_EQ(last.size(), 0x200u);
    EXPECT_TRUE(std::equal(last.begin(), last.begin() + 0x100, model.Flash().end() - 0x100));
    EXPECT_EQ(Bytes(last.begin() + 0x100, last.end()), Bytes(0x100, 0xFF));
}

// Members that must not reach the flash, and the largest that may.
TEST(Loader, DataMemberBounds) {
    auto cut = Gzip(Pattern(20000, 1));
    cut.resize(cut.size() - 10);
    TargetFaults corrupt;
    corrupt.corruptData = true;
    struct Case {
        const char* what;
        Bytes member;
        TargetFaults faults;
        Frames frames;
    };
    const Case cases[] = {
        {"not gzip", Pattern(3000, 5), {}, {kN}},
        {"one byte more than the section", Gzip(Bytes(0x10001, 0x55)), {}, {kN}},
        {"cut short", cut, {}, {kN}},
        {"spoilt by the board", Gzip(Pattern(4000, 2)), corrupt, {kN}},
        {"exactly the section", Gzip(Bytes(0x10000, 0x55)), {}, {kH, kRun, kI, kRun, kO}},
    };
    for (const Case& c : cases) {
        TargetModel model(SmallBoard(27000, c.faults));
        HostScript host(model);
        const Bytes before = model.Flash();
        EXPECT_EQ(FoldProgress(DownloadMember(host, c.member)), c.frames) << c.what;
        EXPECT_TRUE(model.Finished()) << c.what;
        if (c.frames == Frames{kN}) {
            EXPECT_EQ(model.Flash(), before) << c.what;
        }
    }
}

// ---------------------------------------------------------------- faults

TEST(Faults, NoiseSplitAndEagerDumpShapeTheWire) {
    TargetFaults f;
    f.noiseBytes = 7;
    TargetModel noisy(SmallBoard(27000, f));
    HostScript host(noisy);
    host.Boot(Header(0, kErase, 0, 0x40000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    // Every frame but 'A' has noise before it that never looks like a frame start.
    for (size_t i = 2; i < host.chunks.size(); ++i) {
        const Bytes& c = host.chunks[i].bytes;
        ASSERT_EQ(c.size(), 11u);
        EXPECT_EQ(std::count(c.begin(), c.end(), 0xFE), 1) << i;
    }

    f = {};
    f.splitFrames = true;
    TargetModel split(SmallBoard(27000, f));
    HostScript splitHost(split);
    EXPECT_EQ(splitHost.Boot(Header(0, kErase, 0, 0x1000), 115200), (Frames{kA, kB}));
    ASSERT_EQ(splitHost.chunks.size(), 5u);
    EXPECT_EQ(splitHost.chunks[1].bytes, (Bytes{0xFE, 'c'}));
    EXPECT_EQ(splitHost.chunks[2].bytes, (Bytes{'A', 0xFF}));
    EXPECT_GT(splitHost.chunks[2].holdMs, 0u);

    f = {};
    f.dumpAfterG = true;
    TargetModel eager(SmallBoard(27000, f));
    HostScript eagerHost(eager);
    eagerHost.Boot(Header(0, kDump, 0x1000, 0x3000), 115200);
    eagerHost.SendDram(ChipFamily::BigEndian);
    EXPECT_TRUE(std::any_of(eagerHost.chunks.begin(), eagerHost.chunks.end(), [&](const auto& c) {
        return c.bytes.size() > 4 && c.bytes[2] == 'G' &&
               std::equal(c.bytes.begin() + 4, c.bytes.end(), eager.Flash().begin() + 0x1000);
    })) << "the dump data rides with the 'G' frame";
}

TEST(Faults, CorruptFlashByteFlipsOneByteAfterTheWrite) {
    TargetFaults f;
    f.corruptFlashByte = 0x20010;
    TargetModel model(SmallBoard(27000, f));
    HostScript host(model);
    const Bytes data = Pattern(1000, 11);
    ASSERT_EQ(FoldProgress(DownloadMember(host, Gzip(data))), (Frames{kH, kRun, kI, kRun, kO}));
    Bytes expected = data;
    expected[0x10] = static_cast<uint8_t>(~expected[0x10]);
    EXPECT_EQ(Bytes(model.Flash().begin() + 0x20000, model.Flash().begin() + 0x20000 + 1000),
              expected);
}

// Each stage --silent-at takes: the target stops right after it and stays silent.
TEST(Faults, SilentFromEachStage) {
    const Bytes member = Gzip(Pattern(3000, 8));
    const struct {
        char stage;
        OperationMode mode;
        Frame last;  // the last frame before the silence; none for 'U'
    } cases[] = {{'U', kDownload, {}},
                 {'A', kDownload, kA},
                 {'B', kDownload, kB},
                 {'S', kDownload, kVcheck},
                 {'V', kDownload, kV},
                 {'D', kDownload, kD},
                 {'K', kDownload, {'w', Xor3(member.size())}},
                 {'H', kDownload, kH},
                 {'I', kErase, kI},
                 {'F', kDump, kF},
                 {'G', kDump, kG}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stage);
        TargetFaults f;
        f.silentAt = c.stage;
        TargetModel model(SmallBoard(27000, f));
        HostScript host(model);
        // The host's side of the whole operation; a silent target ignores the rest.
        host.Boot(Header(0, c.mode, 0, 0x10000), 115200);
        host.SendDram(ChipFamily::BigEndian);
        for (const Bytes& bytes : {Bytes(8, 0), Length3(member.size()), member})
            host.Send(bytes, kLoaderBaud);
        const size_t chunks = host.chunks.size();
        model.Prompt();
        host.Send(Pattern(100, 1), kLoaderBaud);
        EXPECT_EQ(host.chunks.size(), chunks) << "still silent whatever comes";
        const Frames frames = FoldProgress(FramesOfChunks(host));
        EXPECT_EQ(frames.empty() ? Frame{} : frames.back(), c.last);
        EXPECT_TRUE(model.Silent());
        EXPECT_EQ(model.Stage(), c.stage);
        EXPECT_TRUE(Logged(host, std::string("fault: silent from stage ") + c.stage));
    }
}

}  // namespace
}  // namespace pelorin::sim::test
