// The production line's files: SHA-256 against the FIPS 180 examples, CSV rows, the log that
// several processes append to, the best compression, and the verify comparison.
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <set>

#include "config/board_log.h"
#include "config/compression.h"
#include "config/csv.h"
#include "config/data_prep.h"
#include "config/flash_compare.h"
#include "config/sha256.h"
#include "sim/firmware_image.h"
#include "sim/gzip_member.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ReadText;
using testing::TempDir;
using testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

std::string Sha(std::string_view text) {
    Sha256 sha;
    sha.Update(text);
    return HexDigest(sha.Final());
}

TEST(Sha256, FipsExamples) {
    EXPECT_EQ(Sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnop"
                  "qklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    // A million 'a', given in pieces that straddle the blocks.
    Sha256 sha;
    const std::string piece(997, 'a');
    size_t left = 1000000;
    for (; left >= piece.size(); left -= piece.size()) sha.Update(piece);
    sha.Update(std::string(left, 'a'));
    EXPECT_EQ(HexDigest(sha.Final()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    TempDir dir;
    testing::WriteText(dir / "abc", "abc");
    EXPECT_EQ(Sha256OfFile(dir / "abc"), Sha("abc"));
    EXPECT_FALSE(Sha256OfFile(dir / "missing"));
}

TEST(Csv, QuotesOnlyWhatNeedsItAndReadsBack) {
    const std::vector<std::string> fields = {"plain", "a,b", "say \"hi\"", "two\nlines", ""};
    const std::string row = CsvRow(fields);
    EXPECT_EQ(row, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\r\n");
    const auto rows = ParseCsv(row + row);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], fields);
    EXPECT_EQ(rows[1], fields);
}

BoardLogRecord Record(int n) {
    BoardLogRecord r;
    r.started = std::chrono::system_clock::from_time_t(1714555800);  // 2024-05-01 09:30 UTC
    r.port = "COM" + std::to_string(n);
    r.operation = "Download";
    r.message = "line one, with a comma\nline \"two\"";
    r.wireBytes = uint64_t(n);
    r.seconds = 1.25;
    return r;
}

// Two processes append at once: every row arrives whole, the header once, first.
TEST(BoardLog, TwoProcessesNeverInterleaveRows) {
    TempDir dir;
    const fs::path log = dir / "line.csv";
    constexpr int kRows = 150;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            std::string error;
            auto file = BoardLog::Open(log, {}, error);
            if (!file) ::_exit(1);
            for (int i = 0; i < kRows; ++i)
                if (!file->Append(Record(c * 1000 + i)).empty()) ::_exit(1);
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    const auto rows = ParseCsv(ReadText(log));
    ASSERT_EQ(rows.size(), size_t(2 * kRows + 1));
    EXPECT_EQ(rows[0], ParseCsv(BoardLogHeader())[0]);
    std::set<std::string> ports;
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), rows[0].size()) << i;
        EXPECT_EQ(rows[i][0], "2024-05-01T09:30:00Z");
        // One physical line per row.
        EXPECT_EQ(rows[i][12], "line one, with a comma line \"two\"");
        EXPECT_EQ(rows[i][10], "1.2");
        EXPECT_EQ(rows[i][9], rows[i][1].substr(3));
        ports.insert(rows[i][1]);
    }
    EXPECT_EQ(ports.size(), size_t(2 * kRows));
}

// Formulas are defused, bytes that are no UTF-8 escaped, line breaks gone; text stays.
TEST(BoardLog, CellsAreSafeForSpreadsheetsAndReaders) {
    EXPECT_EQ(SafeCell("=1+2"), "'=1+2");
    EXPECT_EQ(SafeCell("-x"), "'-x");
    EXPECT_EQ(SafeCell("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(SafeCell("\tx"), "'\tx");
    EXPECT_EQ(SafeCell("a\xff\u00e9b"), "a\\xFF\u00e9b");
    EXPECT_EQ(SafeCell("Time Out:\n   1. Cable\r\n   2. Power\n"), "Time Out: 1. Cable 2. Power");
    EXPECT_EQ(SafeCell("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

// Both compressions give a member the board inflates to the section; best is smaller and its
// header is the level 6 member's.
TEST(Compression, BestAndDefaultMembersInflateToTheSection) {
    TempDir dir;
    const Bytes image = sim::MakeFirmwareImage(2u << 20, 1u << 20, 3);
    WriteBytes(dir / "image.bin", image);
    Bytes members[2];
    for (Compression c : {Compression::Standard, Compression::Best}) {
        const WorkPaths paths = WorkPathsFor(dir / CompressionName(c));
        fs::create_directory(paths.tempDir);
        ASSERT_TRUE(ResetWorkTree(paths));
        auto prepared = PrepareDataFile(paths, {dir / "image.bin", true, 0x10000, 0x120000, c});
        ASSERT_TRUE(prepared.ok) << prepared.error;
        Bytes& gz = members[int(c)];
        gz = ReadBytes(paths.dataFilePath);
        Bytes out;
        std::string error;
        ASSERT_TRUE(sim::InflateGzipMember(gz, SIZE_MAX, out, error)) << error;
        EXPECT_EQ(out, Bytes(image.begin() + 0x10000, image.begin() + 0x130000));
    }
    const size_t headerBytes = 10 + std::string(kDataFileName).size() + 1;
    // The time differs by the second it was written in at most; everything else is equal.
    for (size_t i : {0, 1, 2, 3, 8, 9}) EXPECT_EQ(members[0][i], members[1][i]) << i;
    EXPECT_TRUE(std::equal(members[0].begin() + 10, members[0].begin() + long(headerBytes),
                           members[1].begin() + 10));
    EXPECT_TRUE(std::equal(members[0].end() - 8, members[0].end(), members[1].end() - 8));
    EXPECT_LT(members[1].size(), members[0].size());
}

TEST(FlashCompare, SectionOfAnImageOrTheFileWithItsTail) {
    TempDir dir;
    Bytes flash(0x100, 0xFF);
    for (size_t i = 0; i < 0x80; ++i) flash[i] = uint8_t(i);
    WriteBytes(dir / "dump.bin", flash);
    WriteBytes(dir / "file.bin", Bytes(flash.begin(), flash.begin() + 0x80));
    VerifyReport r = CompareWritten(dir / "dump.bin", {dir / "file.bin", false, 0x1000, 0x100});
    EXPECT_TRUE(r.Matches());
    EXPECT_EQ(VerifyText(r, 0x1000), "passed; the 128 bytes after the file are erased (0xFF)");

    Bytes image(0x1100, 0);
    std::copy(flash.begin(), flash.end(), image.begin() + 0x1000);
    image[0x1000 + 0x42] ^= 1;
    WriteBytes(dir / "image.bin", image);
    r = CompareWritten(dir / "dump.bin", {dir / "image.bin", true, 0x1000, 0x100});
    EXPECT_EQ(r.firstDifference, 0x42u);
    EXPECT_EQ(VerifyText(r, 0x1000), "differs at offset 0x42 (address 0x1042)");

    flash[0xF0] = 0;
    WriteBytes(dir / "dump.bin", flash);
    r = CompareWritten(dir / "dump.bin", {dir / "file.bin", false, 0, 0x100});
    EXPECT_TRUE(r.Matches());
    EXPECT_FALSE(r.tailErased);
    EXPECT_FALSE(CompareWritten(dir / "none.bin", {dir / "file.bin", false, 0, 0x100}).Matches());
}

}  // namespace
}  // namespace pelorin
