// The target model against a host scripted by hand: what the boot ROM takes and refuses, the
// bounds of the loaders, and how each fault shows on the wire. Whole operations of the real
// session against the model are tested with the session.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

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

using SetFault = std::function<void(TargetFaults&)>;
TargetConfig SmallBoard(
    unsigned crystalKhz = 27000, const SetFault& fault = [](TargetFaults&) {}) {
    TargetConfig config;
    config.crystalKhz = crystalKhz;
    config.flash = Pattern(kFlashBytes, 7);
    fault(config.faults);
    return config;
}

const Frame kA{'c', 'A'}, kB{'c', 'B'}, kV{'c', 'V'}, kD{'c', 'D'}, kF{'c', 'F'}, kG{'c', 'G'},
    kH{'c', 'H'}, kI{'c', 'I'}, kO{'c', 'O'}, kN{'e', 'N'}, kRun{'p', 128},
    kVcheck{'v', Xor3(kBigEndianDramImageSize)};

// The frames with each run of progress frames folded into kRun, checking that every run
// starts at 0, rises and ends at 128.
Frames FoldProgress(const Frames& frames) {
    Frames out;
    const auto falls = [](Frame a, Frame b) { return a.value >= b.value; };
    for (auto it = frames.begin(); it != frames.end();) {
        auto end = std::find_if(it, frames.end(), [](Frame f) { return f.cls != 'p'; });
        EXPECT_TRUE(end == it || (it->value == 0 && (end - 1)->value == 128 &&
                                  std::adjacent_find(it, end, falls) == end));
        out.push_back(end == it ? *it : kRun);
        it = end == it ? it + 1 : end;
    }
    return out;
}

bool Logged(const HostScript& host, const std::string& text) {
    return std::any_of(host.log.begin(), host.log.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// Everything the target sent since `from`, as one stream.
Bytes Sent(const HostScript& host, size_t from = 0) {
    Bytes all;
    for (size_t i = from; i < host.chunks.size(); ++i)
        all.insert(all.end(), host.chunks[i].bytes.begin(), host.chunks[i].bytes.end());
    return all;
}

// An operation on 0x20000.. up to the data member; returns the frames after it.
Frames DownloadMember(HostScript& host, const Bytes& member, OperationMode mode = kDownload) {
    host.Boot(Header(0, mode, 0x20000, 0x10000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    for (const Bytes& bytes : {Bytes(8, 0), Length3(member.size())}) host.Send(bytes, kLoaderBaud);
    host.TakeFrames();
    host.Send(member, kLoaderBaud);
    return host.TakeFrames();
}

// The boot ROM answers only after its prompt, and prompts no more once it took a block. A DRAM
// image of the other family is not run.
TEST(BootRom, AnswersOnlyAfterItsPromptAndRunsNoLoaderOfTheOtherFamily) {
    TargetModel model(SmallBoard(13500));
    HostScript host(model);
    host.Send(Bytes{0x18}, 57600);
    EXPECT_EQ(model.Stage(), 'X') << "an answer before any prompt is none";
    model.Prompt();
    host.Send(Bytes{0x00, 'Z'}, 57600);
    EXPECT_TRUE(model.AwaitingAnswer()) << "only 0x18 and 0x59 answer";
    host.received.clear();
    EXPECT_EQ(host.Boot(Header(5, kErase, 0, 0x1000, 13500), 57600), (Frames{kA, kB}));
    model.Prompt();
    host.Drain();
    EXPECT_TRUE(host.received.empty()) << "no prompt once the block is taken";
    host.Send(Length3(kBigEndianDramImageSize), kLoaderBaud);
    EXPECT_EQ(host.TakeFrames(), (Frames{kVcheck}));
    host.Send(host.images.DramImage(ChipFamily::LittleEndian).first(kBigEndianDramImageSize),
              kLoaderBaud);
    EXPECT_TRUE(host.TakeFrames().empty());
    EXPECT_TRUE(model.Silent() && !model.Finished());
}

// Uploads the boot ROM must refuse, logging why, and then prompt again: byte `at` of the answer
// flipped by `flip`, or the answer changed by `spoil`.
TEST(BootRom, RefusesABadBlockAndPromptsAgain) {
    constexpr size_t kHeaderAt = 1 + kBootBlockHeaderOffset;  // behind the answer byte
    const struct {  // the reason is part of the logged line
        uint8_t chip;
        size_t at;
        uint8_t flip;
        const char* reason;
        void (*spoil)(Bytes& answer, HostScript& host) = nullptr;
    } cases[] = {{4, 1 + 100, 0x40, "differs from image 2"},
                 {4, 1 + 2000, 1, "padding byte at offset 2000"},
                 {4, 1 + 2046, 1, "after the header"},
                 {4, kHeaderAt + 1, 4 ^ 20, "chip code 20"},
                 {4, kHeaderAt, 1 ^ 3, "mode 3"},
                 {32, 2, 1, "wrong prefix"},
                 {4, 0, 0, "crystal",
                  [](Bytes& a, HostScript&) {  // a header in the host's order
                      auto wire =
                          Header(4, kErase, 0x10000, 0x1000).WireBytes(ChipFamily::LittleEndian);
                      std::copy(wire.begin(), wire.end(), a.begin() + kHeaderAt);
                  }},
                 {4, 0, 0x18 ^ 0x59, "other family",
                  [](Bytes& a, HostScript&) {
                      a.insert(a.begin() + 1, {0x00, 0x02, 0x00, 0x00});
                  }},
                 // Images 9 and 10 differ in six bytes only; the boot ROM still tells them apart.
                 {33, 0, 0, "differs from image 10", [](Bytes& a, HostScript& host) {
                      auto image9 = host.images.BootImage(9);
                      std::copy(image9.begin(), image9.end(), a.begin() + 5);
                  }}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
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
        EXPECT_TRUE(Logged(host, c.reason));
        EXPECT_EQ(host.Boot(Header(4, kErase, 0, 0x1000), 115200), (Frames{kA, kB}));
    }
}

// Members that must not reach the flash, and the largest that may: only its section changes.
TEST(Loader, DataMemberBounds) {
    const Bytes whole = Gzip(Pattern(20000, 1)), cut(whole.begin(), whole.end() - 10);
    const Frames refused = {kN}, taken = {kH, kRun, kI, kRun, kO};
    const struct {
        const char* what;
        Bytes member;
        bool spoilt;
        Frames frames;
    } cases[] = {
        {"not gzip", Pattern(3000, 5), false, refused},
        {"one byte more than the section", Gzip(Bytes(0x10001, 0x55)), false, refused},
        {"cut short", cut, false, refused},
        {"spoilt by the board", Gzip(Pattern(4000, 2)), true, refused},
        {"exactly the section", Gzip(Bytes(0x10000, 0x55)), false, taken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TargetModel model(SmallBoard(27000, [&](TargetFaults& f) { f.corruptData = c.spoilt; }));
        HostScript host(model);
        Bytes expected = model.Flash();
        if (c.frames == taken) std::fill_n(expected.begin() + 0x20000, 0x10000, 0x55);
        EXPECT_EQ(FoldProgress(DownloadMember(host, c.member)), c.frames);
        EXPECT_TRUE(model.Finished());
        EXPECT_EQ(model.Flash(), expected);
        host.Send(Bytes{0xFE, 'c', 'O', 0xFF}, kLoaderBaud);
        EXPECT_TRUE(host.received.empty()) << "finished: nothing more is sent";
    }
}

// A Dump and an Erase of a section whose last chunk is one byte, one after the other on one
// board: the dump data follows 'G' in chunks of its own, and the erase touches nothing else. A
// dump beyond the flash's end reads erased.
TEST(Loader, DumpAndEraseKeepToTheirSection) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const uint32_t start = 0x20000, size = 0x10001;
    Bytes expected = model.Flash();
    host.Boot(Header(16, kDump, start, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    const auto g = std::ranges::find(host.chunks, Bytes{0xFE, 'c', 'G', 0xFF}, &TargetChunk::bytes);
    ASSERT_NE(g, host.chunks.end());
    EXPECT_EQ(Sent(host, static_cast<size_t>(g - host.chunks.begin()) + 1),
              Bytes(expected.begin() + start, expected.begin() + start + size));

    model.Reset();
    host.received.clear();
    host.Boot(Header(14, kErase, start, size), 115200);
    EXPECT_EQ(FoldProgress(host.SendDram(ChipFamily::BigEndian)),
              (Frames{kVcheck, kRun, kH, kRun, kI, kRun, kO}));
    std::fill_n(expected.begin() + start, size, 0xFF);
    EXPECT_EQ(model.Flash(), expected);

    model.Reset();
    host.Boot(Header(0, kDump, kFlashBytes - 0x100, 0x200), 115200);
    host.SendDram(ChipFamily::BigEndian);
    Bytes tail(expected.end() - 0x100, expected.end());
    tail.resize(0x200, 0xFF);
    EXPECT_EQ(host.chunks.back().bytes, tail);
}

// Noise before every frame but 'A' never looks like a frame start; split frames come in two
// chunks, the second held back; an eager dump's data rides with the 'G' frame.
TEST(Faults, NoiseSplitAndEagerDumpShapeTheWire) {
    TargetModel noisy(SmallBoard(27000, [](TargetFaults& f) { f.noiseBytes = 7; }));
    HostScript host(noisy);
    host.Boot(Header(0, kErase, 0, 0x40000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    for (size_t i = 2; i < host.chunks.size(); ++i) {
        const Bytes& c = host.chunks[i].bytes;
        EXPECT_TRUE(c.size() == 11 && std::ranges::count(c, 0xFE) == 1) << i;
    }

    TargetModel halves(SmallBoard(27000, [](TargetFaults& f) { f.splitFrames = true; }));
    HostScript splitHost(halves);
    EXPECT_EQ(splitHost.Boot(Header(0, kErase, 0, 0x1000), 115200), (Frames{kA, kB}));
    ASSERT_EQ(splitHost.chunks.size(), 5u);
    EXPECT_EQ(splitHost.chunks[1].bytes, (Bytes{0xFE, 'c'}));
    EXPECT_EQ(splitHost.chunks[2].bytes, (Bytes{'A', 0xFF}));
    EXPECT_GT(splitHost.chunks[2].holdMs, 0u);

    TargetModel early(SmallBoard(27000, [](TargetFaults& f) { f.dumpAfterG = true; }));
    HostScript eagerHost(early);
    eagerHost.Boot(Header(0, kDump, 0x1000, 0x3000), 115200);
    eagerHost.SendDram(ChipFamily::BigEndian);
    EXPECT_TRUE(std::any_of(eagerHost.chunks.begin(), eagerHost.chunks.end(), [&](const auto& c) {
        return c.bytes.size() > 4 && c.bytes[2] == 'G' &&
               std::equal(c.bytes.begin() + 4, c.bytes.end(), early.Flash().begin() + 0x1000);
    }));
}

// Each stage --silent-at takes: the target stops right after it and stays silent.
TEST(Faults, SilentFromEachStage) {
    const Bytes member = Gzip(Pattern(3000, 8));
    // The last frame before the silence; none for 'U'.
    const struct {
        char stage;
        OperationMode mode;
        Frame last;
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
        TargetModel model(SmallBoard(27000, [&](TargetFaults& f) { f.silentAt = c.stage; }));
        HostScript host(model);
        DownloadMember(host, member, c.mode);  // a silent target ignores the rest
        const size_t chunks = host.chunks.size();
        model.Prompt();
        host.Send(Pattern(100, 1), kLoaderBaud);
        EXPECT_EQ(host.chunks.size(), chunks) << "still silent whatever comes";
        const Frames frames = FoldProgress(FramesIn(Sent(host)));
        EXPECT_EQ(frames.empty() ? Frame{} : frames.back(), c.last);
        EXPECT_TRUE(model.Silent() && model.Stage() == c.stage);
        EXPECT_TRUE(Logged(host, std::string("fault: silent from stage ") + c.stage));
    }
}

}  // namespace
}  // namespace pelorin::sim::test
