// The target model against a host scripted by hand: each mode from prompt to the end, each
// fault, and the checks the boot ROM and the loaders make.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "sim/boot_block_check.h"
#include "sim/gzip_member.h"
#include "sim/host_script.h"
#include "sim/target_model.h"

namespace pelorin::sim::test {
namespace {

constexpr size_t kFlashBytes = 256 * 1024;

TargetConfig SmallBoard(unsigned crystalKhz = 27000) {
    TargetConfig config;
    config.crystalKhz = crystalKhz;
    config.flash = Pattern(kFlashBytes, 7);
    return config;
}

SessionHeader Header(uint8_t chipCode, OperationMode mode, uint32_t start, uint32_t size,
                     uint16_t crystalKhz = 27000) {
    SessionHeader h;
    h.mode = static_cast<uint8_t>(mode);
    h.chipCode = chipCode;
    h.crystalKhz = crystalKhz;
    h.memoryType = 1;
    h.memorySize = 2;
    h.startAddress = start;
    h.sectionSize = size;
    h.sdramMode = 1;
    return h;
}

const Frame kA{'c', 'A'}, kB{'c', 'B'}, kV{'c', 'V'}, kD{'c', 'D'}, kF{'c', 'F'}, kG{'c', 'G'},
    kH{'c', 'H'}, kI{'c', 'I'}, kO{'c', 'O'}, kP{'c', 'P'}, kN{'e', 'N'};

bool IsProgress(const Frame& f) {
    return f.cls == 'p';
}

// The frames with each run of progress frames folded into one {'p', last value}, checking
// that every run starts at 0, rises and ends at 128.
std::vector<Frame> FoldProgress(const std::vector<Frame>& frames) {
    std::vector<Frame> out;
    for (size_t i = 0; i < frames.size();) {
        if (!IsProgress(frames[i])) {
            out.push_back(frames[i++]);
            continue;
        }
        EXPECT_EQ(frames[i].value, 0) << "a progress run starts at 0";
        uint8_t last = frames[i].value;
        for (++i; i < frames.size() && IsProgress(frames[i]); ++i) {
            EXPECT_GT(frames[i].value, last) << "progress rises";
            last = frames[i].value;
        }
        EXPECT_EQ(last, 128) << "a progress run ends at 128";
        out.push_back({'p', last});
    }
    return out;
}

const Frame kRun{'p', 128};

// ---------------------------------------------------------------- boot ROM

TEST(BootRom, PromptsOnlyWhileWaitingForTheAnswer) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    model.Prompt();
    model.Prompt();
    host.Drain();
    EXPECT_EQ(host.received, (std::vector<uint8_t>{'X', 'X'}));
    EXPECT_EQ(model.Stage(), 'X');
    EXPECT_TRUE(model.AwaitingAnswer());
    host.received.clear();
    host.Send({0x18}, 115200);
    EXPECT_EQ(model.Stage(), 'U');
    model.Prompt();
    host.Drain();
    EXPECT_TRUE(host.received.empty()) << "no prompt while the block arrives";
}

TEST(BootRom, BigEndianUploadStartsTheBootLoaderAtTheCrystalSpeedThenSwitches) {
    TargetModel model(SmallBoard(13500));
    HostScript host(model);
    EXPECT_EQ(model.LineBaud(), 57600u);
    auto frames = host.Boot(Header(5, OperationMode::Erase, 0, 0x1000, 13500), 57600);
    EXPECT_EQ(frames, (std::vector<Frame>{kA, kB}));
    EXPECT_EQ(model.Stage(), 'B');
    EXPECT_EQ(model.LineBaud(), 115200u);
    // 'A' still leaves at the crystal's speed, 'B' at the loader's after its start-up time.
    ASSERT_GE(host.chunks.size(), 3u);
    EXPECT_EQ(host.chunks[0].baud, 57600u) << "the prompt";
    EXPECT_EQ(host.chunks[1].baud, 57600u) << "'A'";
    EXPECT_EQ(host.chunks[2].baud, 115200u) << "'B'";
    EXPECT_GT(host.chunks[2].holdMs, 0u);
}

TEST(BootRom, LittleEndianUploadNeedsThePrefix) {
    TargetModel model(SmallBoard(4000));
    HostScript host(model);
    EXPECT_EQ(host.Boot(Header(33, OperationMode::Erase, 0, 0x1000, 4000), 9600),
              (std::vector<Frame>{kA, kB}));
}

TEST(BootRom, TakesAnAnswerOnlyAfterItPrompted) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    host.Send({0x18}, 115200);
    EXPECT_EQ(model.Stage(), 'X');
    model.Prompt();
    host.Send({0x00, 'Z', 0x17}, 115200);
    EXPECT_EQ(model.Stage(), 'X');
    EXPECT_TRUE(model.AwaitingAnswer());
    host.received.clear();
    EXPECT_EQ(host.Boot(Header(0, OperationMode::Erase, 0, 0x1000), 115200),
              (std::vector<Frame>{kA, kB}));
}

struct BadBlockCase {
    const char* name;
    std::vector<uint8_t> (*make)(HostScript&);
    const char* reason;  // part of the logged reason
};

std::vector<uint8_t> WrongImage(HostScript& host) {
    auto bytes = host.BootAnswer(Header(4, OperationMode::Erase, 0, 0x1000));
    bytes[1 + 100] ^= 0x40;
    return bytes;
}
std::vector<uint8_t> NonZeroPadding(HostScript& host) {
    auto bytes = host.BootAnswer(Header(4, OperationMode::Erase, 0, 0x1000));
    bytes[1 + 2000] = 1;
    return bytes;
}
std::vector<uint8_t> NonZeroTail(HostScript& host) {
    auto bytes = host.BootAnswer(Header(4, OperationMode::Erase, 0, 0x1000));
    bytes[1 + 2046] = 1;
    return bytes;
}
std::vector<uint8_t> HostOrderHeaderForBigEndian(HostScript& host) {
    SessionHeader h = Header(4, OperationMode::Erase, 0x10000, 0x1000);
    auto bytes = host.BootAnswer(h);
    auto wire = h.WireBytes(ChipFamily::LittleEndian);
    std::copy(wire.begin(), wire.end(), bytes.begin() + 1 + kBootBlockHeaderOffset);
    return bytes;
}
std::vector<uint8_t> BigEndianChipAfterLittleEndianAnswer(HostScript& host) {
    auto bytes = host.BootAnswer(Header(4, OperationMode::Erase, 0, 0x1000));
    bytes[0] = 0x59;
    bytes.insert(bytes.begin() + 1, {0x00, 0x02, 0x00, 0x00});
    return bytes;
}
std::vector<uint8_t> WrongPrefix(HostScript& host) {
    auto bytes = host.BootAnswer(Header(32, OperationMode::Erase, 0, 0x1000));
    bytes[2] = 0x01;
    return bytes;
}
std::vector<uint8_t> ImageOfTheOtherLittleEndianChip(HostScript& host) {
    // Images 9 and 10 differ in six bytes only; the boot ROM still tells them apart.
    auto bytes = host.BootAnswer(Header(33, OperationMode::Erase, 0, 0x1000));
    auto image9 = host.images.BootImage(9);
    std::copy(image9.begin(), image9.end(), bytes.begin() + 5);
    return bytes;
}
std::vector<uint8_t> UnknownChipCode(HostScript& host) {
    auto bytes = host.BootAnswer(Header(4, OperationMode::Erase, 0, 0x1000));
    bytes[1 + kBootBlockHeaderOffset + 1] = 20;
    return bytes;
}
std::vector<uint8_t> BadMode(HostScript& host) {
    auto bytes = host.BootAnswer(Header(4, OperationMode::Erase, 0, 0x1000));
    bytes[1 + kBootBlockHeaderOffset] = 3;
    return bytes;
}

class BootRomRefuses : public ::testing::TestWithParam<BadBlockCase> {};

TEST_P(BootRomRefuses, AndPromptsAgain) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    model.Prompt();
    host.Drain();
    host.received.clear();
    host.Send(GetParam().make(host), 115200);
    EXPECT_TRUE(host.TakeFrames().empty());
    EXPECT_EQ(model.Stage(), 'X');
    EXPECT_TRUE(model.AwaitingAnswer());
    const bool logged = std::any_of(host.log.begin(), host.log.end(), [](const std::string& l) {
        return l.find(GetParam().reason) != std::string::npos;
    });
    EXPECT_TRUE(logged) << "expected a log line with \"" << GetParam().reason << "\"";
    // A good upload afterwards still works.
    host.received.clear();
    SessionHeader good = Header(4, OperationMode::Erase, 0, 0x1000);
    EXPECT_EQ(host.Boot(good, 115200), (std::vector<Frame>{kA, kB}));
}

INSTANTIATE_TEST_SUITE_P(
    BadBlocks, BootRomRefuses,
    ::testing::Values(
        BadBlockCase{"WrongImage", WrongImage, "differs from image 2"},
        BadBlockCase{"NonZeroPadding", NonZeroPadding, "padding byte at offset 2000"},
        BadBlockCase{"NonZeroTail", NonZeroTail, "after the header"},
        BadBlockCase{"HostOrderHeader", HostOrderHeaderForBigEndian, "crystal"},
        BadBlockCase{"FamilyMismatch", BigEndianChipAfterLittleEndianAnswer, "other family"},
        BadBlockCase{"WrongPrefix", WrongPrefix, "wrong prefix"},
        BadBlockCase{"SixBytesOff", ImageOfTheOtherLittleEndianChip, "differs from image 10"},
        BadBlockCase{"UnknownChip", UnknownChipCode, "chip code 20"},
        BadBlockCase{"BadMode", BadMode, "mode 3"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(BootRom, BlockAtTheWrongSpeedIsGarbage) {
    TargetModel model(SmallBoard(13500));
    HostScript host(model);
    // The host opened at 115200 instead of the crystal's 57600. The garbage may happen to hold
    // an answer byte, after which the boot ROM waits for a block that never comes.
    EXPECT_TRUE(host.Boot(Header(0, OperationMode::Erase, 0, 0x1000, 13500), 115200).empty());
    EXPECT_TRUE(model.Stage() == 'X' || model.Stage() == 'U') << model.Stage();
}

TEST(BootRom, CheckAcceptsEveryChipItsOwnImage) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    for (const ChipType& chip : kChipTypes) {
        SessionHeader h = Header(chip.code, OperationMode::Dump, 0x30000, 0x20000);
        auto answer = host.BootAnswer(h);
        const size_t skip = chip.family == ChipFamily::LittleEndian ? 5 : 1;
        auto check = CheckBootBlock(std::span(answer).subspan(skip), chip.family, host.images);
        EXPECT_TRUE(check.ok) << chip.name << ": " << check.reason;
        EXPECT_EQ(check.header.startAddress, 0x30000u) << chip.name;
        EXPECT_EQ(check.header.sectionSize, 0x20000u) << chip.name;
        EXPECT_EQ(check.header.crystalKhz, 27000) << chip.name;
        EXPECT_EQ(check.chip.bootImage, chip.bootImage) << chip.name;
    }
}

// ---------------------------------------------------------------- loaders

TEST(Loader, LengthBytesAtTheCrystalSpeedAreGarbage) {
    TargetModel model(SmallBoard(16000));
    HostScript host(model);
    ASSERT_EQ(host.Boot(Header(1, OperationMode::Erase, 0, 0x1000, 16000), 57600),
              (std::vector<Frame>{kA, kB}));
    // The host did not switch to 115200.
    host.Send(Length3(kBigEndianDramImageSize), 57600);
    auto frames = host.TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].cls, 'v');
    EXPECT_NE(frames[0].value, Xor3(kBigEndianDramImageSize));
}

TEST(Loader, WrongDramImageIsNotRun) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    host.Boot(Header(2, OperationMode::Erase, 0, 0x1000), 115200);
    host.Send(Length3(kBigEndianDramImageSize), kLoaderBaud);
    EXPECT_EQ(host.TakeFrames(), (std::vector<Frame>{{'v', Xor3(kBigEndianDramImageSize)}}));
    EXPECT_EQ(model.Stage(), 'S');
    // Bytes of the right length but of the other family's loader.
    auto wrong = host.images.DramImage(ChipFamily::LittleEndian).first(kBigEndianDramImageSize);
    host.Send(wrong, kLoaderBaud);
    EXPECT_TRUE(host.TakeFrames().empty());
    EXPECT_TRUE(model.Silent());
    EXPECT_FALSE(model.Finished());
}

TEST(Loader, DownloadWritesTheInflatedDataIntoTheSection) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const uint32_t start = 0x10000, size = 0x20000;
    const auto before = model.Flash();
    const auto data = Pattern(100000, 99);
    const auto member = Gzip(data);

    ASSERT_EQ(host.Boot(Header(8, OperationMode::Download, start, size), 115200),
              (std::vector<Frame>{kA, kB}));
    ASSERT_EQ(host.SendDram(ChipFamily::BigEndian),
              (std::vector<Frame>{{'v', Xor3(kBigEndianDramImageSize)}, kV}));
    host.Send(std::vector<uint8_t>(8, 0), kLoaderBaud);
    ASSERT_EQ(host.TakeFrames(), (std::vector<Frame>{kD}));
    host.Send(Length3(member.size()), kLoaderBaud);
    ASSERT_EQ(host.TakeFrames(), (std::vector<Frame>{{'w', Xor3(member.size())}}));
    EXPECT_EQ(model.Stage(), 'K');
    // In 10240-byte pieces as the host streams it.
    for (size_t at = 0; at < member.size(); at += 10240) {
        const size_t n = std::min<size_t>(10240, member.size() - at);
        host.Send(std::span(member).subspan(at, n), kLoaderBaud);
    }
    EXPECT_EQ(FoldProgress(host.TakeFrames()), (std::vector<Frame>{kH, kRun, kI, kRun, kO}));
    EXPECT_TRUE(model.Finished());
    EXPECT_EQ(model.Stage(), 'O');

    const auto& flash = model.Flash();
    EXPECT_TRUE(std::equal(data.begin(), data.end(), flash.begin() + start));
    EXPECT_TRUE(std::all_of(flash.begin() + start + data.size(), flash.begin() + start + size,
                            [](uint8_t b) { return b == 0xFF; }))
        << "rest of the section erased";
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + start, before.begin()));
    EXPECT_TRUE(
        std::equal(flash.begin() + start + size, flash.end(), before.begin() + start + size));

    // Finished: further bytes change nothing and nothing more is sent.
    host.Send({0xFE, 'c', 'O', 0xFF}, kLoaderBaud);
    EXPECT_TRUE(host.received.empty());
}

TEST(Loader, LittleEndianDownload) {
    TargetModel model(SmallBoard(8000));
    HostScript host(model);
    const auto data = Pattern(5000, 3);
    const auto member = Gzip(data);
    ASSERT_EQ(host.Boot(Header(32, OperationMode::Download, 0, 0x10000, 8000), 38400),
              (std::vector<Frame>{kA, kB}));
    ASSERT_EQ(host.SendDram(ChipFamily::LittleEndian),
              (std::vector<Frame>{{'v', Xor3(kLittleEndianDramImageSize)}, kV}));
    host.Send(std::vector<uint8_t>(8, 0), kLoaderBaud);
    host.Send(Length3(member.size()), kLoaderBaud);
    host.Send(member, kLoaderBaud);
    EXPECT_EQ(FoldProgress(host.TakeFrames()),
              (std::vector<Frame>{kD, {'w', Xor3(member.size())}, kH, kRun, kI, kRun, kO}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), model.Flash().begin()));
}

// Runs a Download up to the data member and returns the frames after it.
std::vector<Frame> DownloadMember(HostScript& host, const std::vector<uint8_t>& member,
                                  uint32_t size = 0x10000) {
    host.Boot(Header(0, OperationMode::Download, 0x20000, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    host.Send(std::vector<uint8_t>(8, 0), kLoaderBaud);
    host.Send(Length3(member.size()), kLoaderBaud);
    host.TakeFrames();
    host.Send(member, kLoaderBaud);
    return host.TakeFrames();
}

TEST(Loader, MemberThatDoesNotInflateEndsWithDecompressError) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const auto before = model.Flash();
    auto member = Pattern(3000, 5);  // not gzip at all
    EXPECT_EQ(DownloadMember(host, member), (std::vector<Frame>{kN}));
    EXPECT_TRUE(model.Finished());
    EXPECT_EQ(model.Stage(), 'N');
    EXPECT_EQ(model.Flash(), before);
}

TEST(Loader, MemberLargerThanTheSectionEndsWithDecompressError) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    EXPECT_EQ(DownloadMember(host, Gzip(std::vector<uint8_t>(0x10001, 0x55))),
              (std::vector<Frame>{kN}));
}

TEST(Loader, MemberCutShortEndsWithDecompressError) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    auto member = Gzip(Pattern(20000, 1));
    member.resize(member.size() - 10);
    EXPECT_EQ(DownloadMember(host, member), (std::vector<Frame>{kN}));
}

TEST(Loader, EraseErasesOnlyTheSection) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const uint32_t start = 0x8000, size = 0x18000;
    const auto before = model.Flash();
    host.Boot(Header(14, OperationMode::Erase, start, size), 115200);
    EXPECT_EQ(
        FoldProgress(host.SendDram(ChipFamily::BigEndian)),
        (std::vector<Frame>{{'v', Xor3(kBigEndianDramImageSize)}, kRun, kH, kRun, kI, kRun, kO}));
    EXPECT_TRUE(model.Finished());
    const auto& flash = model.Flash();
    EXPECT_TRUE(std::all_of(flash.begin() + start, flash.begin() + start + size,
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + start, before.begin()));
    EXPECT_TRUE(
        std::equal(flash.begin() + start + size, flash.end(), before.begin() + start + size));
}

TEST(Loader, DumpSendsExactlyTheSectionAfterG) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const uint32_t start = 0x4000, size = 0x9001;
    host.Boot(Header(16, OperationMode::Dump, start, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    // SendDram took the frames through 'G' and whatever followed; look at the raw chunks.
    auto gChunk = std::find_if(host.chunks.begin(), host.chunks.end(), [](const TargetChunk& c) {
        return c.bytes == std::vector<uint8_t>{0xFE, 'c', 'G', 0xFF};
    });
    ASSERT_NE(gChunk, host.chunks.end()) << "'G' leaves on its own";
    std::vector<uint8_t> dumped;
    for (auto it = gChunk + 1; it != host.chunks.end(); ++it)
        dumped.insert(dumped.end(), it->bytes.begin(), it->bytes.end());
    const auto& flash = model.Flash();
    EXPECT_EQ(dumped, std::vector<uint8_t>(flash.begin() + start, flash.begin() + start + size));
    EXPECT_TRUE(model.Finished());
    EXPECT_EQ(model.Stage(), 'G');

    std::vector<Frame> beforeG;
    for (auto it = host.chunks.begin(); it != gChunk + 1; ++it)
        for (size_t i = 0; i + 3 < it->bytes.size(); i += 4)
            if (it->bytes[i] == 0xFE) beforeG.push_back({it->bytes[i + 1], it->bytes[i + 2]});
    EXPECT_EQ(FoldProgress(beforeG),
              (std::vector<Frame>{kA, kB, {'v', Xor3(kBigEndianDramImageSize)}, kF, kRun, kG}));
}

TEST(Loader, DumpOfASectionBeyondTheFlashReadsErased) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const uint32_t start = kFlashBytes - 0x100, size = 0x200;
    host.Boot(Header(0, OperationMode::Dump, start, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    ASSERT_GE(host.chunks.size(), 1u);
    const auto& last = host.chunks.back().bytes;
    ASSERT_EQ(last.size(), size);
    EXPECT_TRUE(std::equal(last.begin(), last.begin() + 0x100, model.Flash().end() - 0x100));
    EXPECT_TRUE(std::all_of(last.begin() + 0x100, last.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST(Loader, FlashTimeIsProportionalToTheSection) {
    TargetConfig config = SmallBoard();
    config.eraseUsPerKiB = 2000;  // 2 ms per KiB
    config.copyUsPerKiB = 500;
    TargetModel model(std::move(config));
    HostScript host(model);
    const uint32_t size = 0x30000;  // 192 KiB
    host.Boot(Header(0, OperationMode::Erase, 0, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    // Chunks between 'H' and 'I' carry the erase time, the others the read time.
    unsigned erase = 0, other = 0;
    bool inErase = false;
    for (const TargetChunk& c : host.chunks) {
        if (c.bytes == std::vector<uint8_t>{0xFE, 'c', 'H', 0xFF}) inErase = true;
        if (c.bytes == std::vector<uint8_t>{0xFE, 'c', 'I', 0xFF}) inErase = false;
        (inErase ? erase : other) += c.workMs;
    }
    EXPECT_EQ(erase, 192u * 2);
    EXPECT_EQ(other, 2 * 192u / 2) << "preparation and verify";
}

TEST(Loader, ResetGoesBackToTheBootRomAndKeepsTheFlash) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    const auto data = Pattern(1000, 11);
    DownloadMember(host, Gzip(data));
    ASSERT_TRUE(model.Finished());
    model.Reset();
    EXPECT_FALSE(model.Finished());
    EXPECT_EQ(model.Stage(), 'X');
    EXPECT_TRUE(std::equal(data.begin(), data.end(), model.Flash().begin() + 0x20000));
    host.received.clear();
    host.chunks.clear();
    EXPECT_EQ(host.Boot(Header(0, OperationMode::Erase, 0, 0x1000), 115200),
              (std::vector<Frame>{kA, kB}));
}

TEST(Loader, LogsOneLinePerStage) {
    TargetModel model(SmallBoard());
    HostScript host(model);
    host.Boot(Header(0, OperationMode::Erase, 0, 0x1000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    std::string stages;
    for (const std::string& line : host.log)
        if (line.rfind("stage ", 0) == 0) stages += line[6];
    EXPECT_EQ(stages, "ABSHIO");
}

// ---------------------------------------------------------------- faults

TEST(Faults, WrongDramCheckByte) {
    TargetConfig config = SmallBoard();
    config.faults.wrongDramCheck = true;
    TargetModel model(std::move(config));
    HostScript host(model);
    host.Boot(Header(0, OperationMode::Erase, 0, 0x1000), 115200);
    host.Send(Length3(kBigEndianDramImageSize), kLoaderBaud);
    auto frames = host.TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].cls, 'v');
    EXPECT_NE(frames[0].value, Xor3(kBigEndianDramImageSize));
    EXPECT_NE(std::find(host.log.begin(), host.log.end(),
                        "fault: wrong DRAM loader check byte 0x6A instead of 0x6B"),
              host.log.end());
}

TEST(Faults, WrongDataCheckByte) {
    TargetConfig config = SmallBoard();
    config.faults.wrongDataCheck = true;
    TargetModel model(std::move(config));
    HostScript host(model);
    host.Boot(Header(0, OperationMode::Download, 0, 0x1000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    host.Send(std::vector<uint8_t>(8, 0), kLoaderBaud);
    host.TakeFrames();
    host.Send(Length3(1234), kLoaderBaud);
    auto frames = host.TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].cls, 'w');
    EXPECT_NE(frames[0].value, Xor3(1234));
}

TEST(Faults, CorruptDataEndsWithDecompressErrorEvenForAGoodMember) {
    TargetConfig config = SmallBoard();
    config.faults.corruptData = true;
    TargetModel model(std::move(config));
    HostScript host(model);
    const auto before = model.Flash();
    EXPECT_EQ(DownloadMember(host, Gzip(Pattern(4000, 2))), (std::vector<Frame>{kN}));
    EXPECT_EQ(model.Flash(), before);
}

TEST(Faults, RejectedHardwareVersion) {
    TargetConfig config = SmallBoard();
    config.faults.rejectHardware = true;
    TargetModel model(std::move(config));
    HostScript host(model);
    host.Boot(Header(8, OperationMode::Download, 0x30000, 0x1000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    host.Send(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}, kLoaderBaud);
    EXPECT_EQ(host.TakeFrames(), (std::vector<Frame>{kP}));
    EXPECT_TRUE(model.Finished());
    EXPECT_EQ(model.Stage(), 'P');
}

TEST(Faults, NoiseBetweenFramesNeverLooksLikeAFrameStart) {
    TargetConfig config = SmallBoard();
    config.faults.noiseBytes = 7;
    TargetModel model(std::move(config));
    HostScript host(model);
    host.Boot(Header(0, OperationMode::Erase, 0, 0x40000), 115200);
    host.SendDram(ChipFamily::BigEndian);
    size_t frames = 0;
    for (const TargetChunk& c : host.chunks) {
        if (c.bytes.size() == 1) continue;  // the prompt
        ASSERT_EQ(std::count(c.bytes.begin(), c.bytes.end(), 0xFE), 1);
        ASSERT_EQ(c.bytes.back(), 0xFF);
        if (c.bytes.size() == 11) ++frames;  // 7 noise bytes and a frame
    }
    EXPECT_EQ(frames, host.chunks.size() - 2) << "every frame but 'A' has noise before it";
}

TEST(Faults, SplitFramesLeaveInTwoHalvesWithAPause) {
    TargetConfig config = SmallBoard();
    config.faults.splitFrames = true;
    TargetModel model(std::move(config));
    HostScript host(model);
    auto frames = host.Boot(Header(0, OperationMode::Erase, 0, 0x1000), 115200);
    EXPECT_EQ(frames, (std::vector<Frame>{kA, kB}));
    ASSERT_EQ(host.chunks.size(), 5u);
    EXPECT_EQ(host.chunks[1].bytes, (std::vector<uint8_t>{0xFE, 'c'}));
    EXPECT_EQ(host.chunks[2].bytes, (std::vector<uint8_t>{'A', 0xFF}));
    EXPECT_GT(host.chunks[2].holdMs, 0u);
}

TEST(Faults, DumpDataLeavesWithTheGFrame) {
    TargetConfig config = SmallBoard();
    config.faults.dumpAfterG = true;
    TargetModel model(std::move(config));
    HostScript host(model);
    const uint32_t start = 0x1000, size = 0x3000;
    host.Boot(Header(0, OperationMode::Dump, start, size), 115200);
    host.SendDram(ChipFamily::BigEndian);
    auto gChunk = std::find_if(host.chunks.begin(), host.chunks.end(), [](const TargetChunk& c) {
        return c.bytes.size() > 4 && c.bytes[0] == 0xFE && c.bytes[1] == 'c' && c.bytes[2] == 'G';
    });
    ASSERT_NE(gChunk, host.chunks.end());
    std::vector<uint8_t> dumped(gChunk->bytes.begin() + 4, gChunk->bytes.end());
    for (auto it = gChunk + 1; it != host.chunks.end(); ++it)
        dumped.insert(dumped.end(), it->bytes.begin(), it->bytes.end());
    const auto& flash = model.Flash();
    EXPECT_EQ(dumped, std::vector<uint8_t>(flash.begin() + start, flash.begin() + start + size));
}

struct SilenceCase {
    char stage;
    OperationMode mode;
    std::vector<Frame> lastFrames;  // what the target sends before it falls silent
};

class SilentAt : public ::testing::TestWithParam<SilenceCase> {};

// Drives the whole operation by reacting to whatever the target sends, like a host would.
TEST_P(SilentAt, TargetStopsRightAfterTheStage) {
    const SilenceCase& c = GetParam();
    TargetConfig config = SmallBoard();
    config.faults.silentAt = c.stage;
    TargetModel model(std::move(config));
    HostScript host(model);
    const auto member = Gzip(Pattern(3000, 8));
    std::vector<Frame> all = host.Boot(Header(0, c.mode, 0, 0x10000), 115200);
    for (size_t i = 0; i < all.size(); ++i) {
        std::vector<Frame> next;
        const Frame f = all[i];
        if (f == kB) {
            next = host.SendDram(ChipFamily::BigEndian);
        } else if (f == kV) {
            host.Send(std::vector<uint8_t>(8, 0), kLoaderBaud);
            next = host.TakeFrames();
        } else if (f == kD) {
            host.Send(Length3(member.size()), kLoaderBaud);
            next = host.TakeFrames();
        } else if (f.cls == 'w') {
            host.Send(member, kLoaderBaud);
            next = host.TakeFrames();
        }
        all.insert(all.end(), next.begin(), next.end());
    }
    std::vector<Frame> folded = FoldProgress(all);
    ASSERT_GE(folded.size(), c.lastFrames.size());
    std::vector<Frame> last(folded.end() - static_cast<long>(c.lastFrames.size()), folded.end());
    // The data check byte depends on the member's length: compare its class only.
    for (Frame& f : last)
        if (f.cls == 'w') f.value = 0;
    EXPECT_EQ(last, c.lastFrames);
    EXPECT_TRUE(model.Silent());
    EXPECT_FALSE(model.Finished());
    EXPECT_EQ(model.Stage(), c.stage);
    EXPECT_NE(std::find(host.log.begin(), host.log.end(),
                        std::string("fault: silent from stage ") + c.stage),
              host.log.end());
    // Still silent whatever comes.
    host.received.clear();
    host.Send(Pattern(100, 1), kLoaderBaud);
    model.Prompt();
    host.Drain();
    EXPECT_TRUE(host.received.empty());
}

const Frame kVcheck{'v', Xor3(kBigEndianDramImageSize)};

INSTANTIATE_TEST_SUITE_P(Stages, SilentAt,
                         ::testing::Values(SilenceCase{'U', OperationMode::Download, {}},
                                           SilenceCase{'A', OperationMode::Download, {kA}},
                                           SilenceCase{'B', OperationMode::Download, {kA, kB}},
                                           SilenceCase{'S', OperationMode::Download, {kB, kVcheck}},
                                           SilenceCase{'V', OperationMode::Download, {kVcheck, kV}},
                                           SilenceCase{'D', OperationMode::Download, {kV, kD}},
                                           SilenceCase{
                                               'K', OperationMode::Download, {kD, {'w', 0}}},
                                           SilenceCase{'H', OperationMode::Download, {kH}},
                                           SilenceCase{'I', OperationMode::Erase, {kH, kRun, kI}},
                                           SilenceCase{'F', OperationMode::Dump, {kVcheck, kF}},
                                           SilenceCase{'G', OperationMode::Dump, {kF, kRun, kG}}),
                         [](const auto& p) { return std::string(1, p.param.stage); });

// ---------------------------------------------------------------- pieces

TEST(GzipMember, InflatesWithinTheLimitOnly) {
    const auto data = Pattern(70000, 4);
    const auto member = Gzip(data);
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(InflateGzipMember(member, data.size(), out, error)) << error;
    EXPECT_EQ(out, data);
    EXPECT_FALSE(InflateGzipMember(member, data.size() - 1, out, error));
    EXPECT_NE(error.find("more than"), std::string::npos) << error;
    auto spoilt = member;
    spoilt[spoilt.size() - 8] ^= 1;
    EXPECT_FALSE(InflateGzipMember(spoilt, data.size(), out, error));
    EXPECT_FALSE(InflateGzipMember({}, 10, out, error));
}

}  // namespace
}  // namespace pelorin::sim::test
