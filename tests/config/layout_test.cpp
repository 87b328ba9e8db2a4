// Segment layout: CRC, default text, the program file's trailer, the INI reader, the segment
// table, and the version text.
#include <gtest/gtest.h>

#include "config/crc32.h"
#include "config/default_layout.h"
#include "config/ini_reader.h"
#include "config/layout_file.h"
#include "config/layout_trailer.h"
#include "config/segment_table.h"
#include "config/version.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteBytes;

std::vector<uint8_t> FakeImage(size_t size) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

TEST(Crc32, KnownValues) {
    EXPECT_EQ(Crc32(std::string_view("abc")), 0x352441C2u);
    EXPECT_EQ(Crc32(std::string_view("")), 0u);
    EXPECT_EQ(Crc32(std::string_view("123456789")), 0xCBF43926u);
    // Continuing over pieces equals one pass.
    EXPECT_EQ(Crc32(std::string_view("c"), Crc32(std::string_view("ab"))), 0x352441C2u);
}

TEST(DefaultLayout, FortyEightLinesEndedByCrLf) {
    std::string text = DefaultLayoutText();
    size_t lines = 0;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 48u);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    EXPECT_TRUE(text.starts_with("[Main]\r\nVer=1.00\r\nSegNumber=9\r\nSeg0=All\r\n"));
    EXPECT_NE(text.find("\r\n[All]\r\nStartAddr=0x00000000\r\nSegSize   =0x00200000\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n[SysDB]\r\nStartAddr=0x001C0000\r\nSegSize   =0x00020000\r\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with(";SdramModel=0\r\n;DisableEtcOpt=1\r\n;Title=Pelorin\r\n"));
    size_t expectedBytes = 0;
    for (auto line : kDefaultLayoutLines) expectedBytes += line.size() + 2;
    EXPECT_EQ(text.size(), expectedBytes);
}

TEST(DefaultLayout, SectionsCoverTwoMegabytesWithoutGaps) {
    SegmentTable table = LoadSegmentTable(IniText(DefaultLayoutText()));
    ASSERT_EQ(table.size(), 9u);
    const char* names[] = {"All",           "Bootload", "Main Code", "Logo", "Common Data",
                           "Default UsrDB", "UsrDB",    "SysDB",     "Key"};
    const uint32_t starts[] = {0,        0,        0x10000,  0x130000, 0x138000,
                               0x138800, 0x140000, 0x1C0000, 0x1E0000};
    const uint32_t sizes[] = {0x200000, 0x10000, 0x120000, 0x8000, 0x800,
                              0x7800,   0x80000, 0x20000,  0x20000};
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(table[i].name, names[i]);
        EXPECT_EQ(table[i].startAddr, starts[i]) << i;
        EXPECT_EQ(table[i].segSize, sizes[i]) << i;
    }
    uint32_t next = 0;
    for (size_t i = 1; i < 9; ++i) {
        EXPECT_EQ(table[i].startAddr, next);
        next += table[i].segSize;
    }
    EXPECT_EQ(next, 0x200000u);
    // Every [Config] key is commented out.
    IniText ini(DefaultLayoutText());
    EXPECT_EQ(ini.GetInt("Config", "COM", -1), -1);
    EXPECT_EQ(ini.GetString("Config", "Title", "none"), "none");
}

// Program files with and without an appended layout.
class LayoutTrailerTest : public ::testing::Test {
  protected:
    std::filesystem::path Program(const std::vector<uint8_t>& bytes) {
        auto path = dir_ / "program";
        WriteBytes(path, bytes);
        return path;
    }
    std::string Extracted(const std::vector<uint8_t>& bytes) {
        auto layout = dir_ / "layout.tmp";
        EXPECT_TRUE(ExtractLayout(Program(bytes), layout));
        return ReadText(layout);
    }
    TempDir dir_;
};

TEST_F(LayoutTrailerTest, NoTrailerGivesTheDefaultText) {
    auto file = FakeImage(1000);
    file.insert(file.end(), 8, 0);  // as built: last four bytes 0
    EXPECT_EQ(Extracted(file), DefaultLayoutText());
}

TEST_F(LayoutTrailerTest, ValidTrailerGivesItsTextByteForByte) {
    std::string text =
        "[Main]\nSegNumber=1\r\nSeg0=X\r[X]\r\nStartAddr=0x10\r\nSegSize=0x20\r\n\xff";
    auto file = AppendLayoutTrailer(FakeImage(4096), text);
    ASSERT_TRUE(file);
    EXPECT_EQ(Extracted(*file), text);
    auto trailer = ParseLayoutTrailer(*file);
    ASSERT_TRUE(trailer);
    EXPECT_EQ(trailer->textOffset, 4096u);
    EXPECT_EQ(ExecutableImage(*file).size(), 4096u);
}

TEST_F(LayoutTrailerTest, OneChangedByteOfTextOrCrcFallsBackToTheDefault) {
    std::string text = "[Main]\r\nSegNumber=0\r\n";
    auto file = *AppendLayoutTrailer(FakeImage(500), text);
    for (size_t at :
         {size_t{500}, size_t{500 + text.size() - 1}, file.size() - 8, file.size() - 5}) {
        auto damaged = file;
        damaged[at] ^= 0x01;
        EXPECT_EQ(Extracted(damaged), DefaultLayoutText()) << "byte " << at;
        EXPECT_EQ(ExecutableImage(damaged).size(), damaged.size());
    }
}

TEST_F(LayoutTrailerTest, EmptyTextGivesAnEmptyFileAndAnEmptyTable) {
    auto file = *AppendLayoutTrailer(FakeImage(300), "");
    EXPECT_EQ(Extracted(file), "");
    EXPECT_TRUE(LoadSegmentTable(dir_ / "layout.tmp").empty());
}

TEST_F(LayoutTrailerTest, OffsetsOutsideTheTextAreInvalid) {
    auto image = FakeImage(100);
    auto withOffset = [&](uint32_t offset, uint32_t crc) {
        auto file = image;
        for (uint32_t v : {crc, offset})
            for (int s = 0; s < 32; s += 8) file.push_back(static_cast<uint8_t>(v >> s));
        return file;
    };
    // Beyond the file, inside the trailer's own 8 bytes, and 0.
    EXPECT_EQ(Extracted(withOffset(10000, 0)), DefaultLayoutText());
    EXPECT_EQ(Extracted(withOffset(104, 0)), DefaultLayoutText());
    EXPECT_EQ(Extracted(withOffset(108, 0)), DefaultLayoutText());
    EXPECT_EQ(Extracted(withOffset(0, 0)), DefaultLayoutText());
    // Exactly at the trailer: an empty text, CRC 0.
    EXPECT_EQ(Extracted(withOffset(100, 0)), "");
}

TEST_F(LayoutTrailerTest, ShortOrMissingProgramFileGivesTheDefault) {
    EXPECT_EQ(Extracted({1, 2, 3}), DefaultLayoutText());
    EXPECT_EQ(LayoutTextOf(dir_ / "missing"), DefaultLayoutText());
}

TEST(IniText, BlanksCaseCommentsAndDefaults) {
    IniText ini(
        "[Main]\r\n"
        "  SegSize   =  0x00200000  \r\n"
        ";COM=3\r\n"
        "  ; XTAL=4\r\n"
        "name=a=b\r\n"
        "[ Other ]\n"
        "key=\n"
        "Count=-12abc\n");
    EXPECT_EQ(ini.GetString("main", "segsize"), "0x00200000");
    EXPECT_EQ(ini.GetString("MAIN", "SEGSIZE"), "0x00200000");
    EXPECT_EQ(ini.GetInt("Main", "COM", 7), 7);
    EXPECT_EQ(ini.GetString("Main", ";COM", "x"), "x");
    EXPECT_EQ(ini.GetInt("Main", "XTAL", 0), 0);
    EXPECT_EQ(ini.GetString("Main", "name"), "a=b");
    EXPECT_EQ(ini.GetString("other", "key", "fallback"), "");
    EXPECT_EQ(ini.GetInt("Other", "key", 5), 0);
    EXPECT_EQ(ini.GetInt("Other", "Count"), -12);
    EXPECT_EQ(ini.GetString("Missing", "key"), "");
    EXPECT_EQ(ini.GetInt("Main", "missing"), 0);
}

TEST(IniText, FirstOfTwoEqualKeysOrSectionsWins) {
    IniText ini("[A]\nk=1\nK=2\n[B]\nk=3\n[a]\nk=4\nj=5\n");
    EXPECT_EQ(ini.GetInt("A", "k"), 1);
    EXPECT_EQ(ini.GetInt("B", "k"), 3);
    EXPECT_EQ(ini.GetInt("A", "j", -1), -1);
}

TEST(IniText, ValuesAreCutTo254Characters) {
    std::string longValue(300, 'v');
    IniText ini("[S]\nk=" + longValue + "\n");
    EXPECT_EQ(ini.GetString("S", "k"), std::string(254, 'v'));
}

TEST(IniText, IntegersSaturateAndKeysOutsideSectionsAreIgnored) {
    IniText ini("k=1\n[S]\nbig=99999999999\nsmall=-99999999999\nnone=abc\n");
    EXPECT_EQ(ini.GetInt("S", "big"), INT32_MAX);
    EXPECT_EQ(ini.GetInt("S", "small"), INT32_MIN);
    EXPECT_EQ(ini.GetInt("S", "none", 9), 0);
    EXPECT_EQ(ini.GetInt("", "k", 9), 9);
}

TEST(SegmentHex, SecondCharacterIsTakenAsZero) {
    EXPECT_EQ(ParseSegmentHex("0x1C0000"), 0x001C0000u);
    EXPECT_EQ(ParseSegmentHex("0x001c0000"), 0x001C0000u);
    EXPECT_EQ(ParseSegmentHex("12345"), 0x10345u);
    EXPECT_EQ(ParseSegmentHex("0x12G4"), 0x12u);
    EXPECT_EQ(ParseSegmentHex("0x"), 0u);
    EXPECT_EQ(ParseSegmentHex("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseSegmentHex("0x123456789"), 0xFFFFFFFFu);
}

TEST(SegmentHex, ValuesShorterThanTwoCharactersGiveZero) {
    EXPECT_EQ(ParseSegmentHex(""), 0u);
    EXPECT_EQ(ParseSegmentHex("5"), 0u);
    EXPECT_EQ(ParseSegmentHex("F"), 0u);
}

TEST(SegmentTable, MoreEntriesThanNamesGiveEmptyEntries) {
    std::string text = DefaultLayoutText();
    text.replace(text.find("SegNumber=9"), 11, "SegNumber=12");
    SegmentTable table = LoadSegmentTable(IniText(text));
    ASSERT_EQ(table.size(), 12u);
    EXPECT_EQ(table[8].name, "Key");
    for (size_t i = 9; i < 12; ++i) {
        EXPECT_EQ(table[i].name, "");
        EXPECT_EQ(table[i].startAddr, 0u);
        EXPECT_EQ(table[i].segSize, 0u);
    }
}

TEST(SegmentTable, EqualNamesReadTheSameSection) {
    SegmentTable table = LoadSegmentTable(IniText(
        "[Main]\nSegNumber=2\nSeg0=Code\nSeg1=code\n[Code]\nStartAddr=0x100\nSegSize=0x200\n"));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].startAddr, 0x100u);
    EXPECT_EQ(table[1].segSize, 0x200u);
    EXPECT_EQ(table[1].name, "code");
}

TEST(SegmentTable, MissingZeroNegativeOrAbsurdCountsGiveAnEmptyTable) {
    EXPECT_TRUE(LoadSegmentTable(IniText("")).empty());
    EXPECT_TRUE(LoadSegmentTable(IniText("[Main]\nSegNumber=0\n")).empty());
    EXPECT_TRUE(LoadSegmentTable(IniText("[Main]\nSegNumber=-3\n")).empty());
    EXPECT_TRUE(LoadSegmentTable(IniText("[Main]\nSegNumber=4097\n")).empty());
    EXPECT_TRUE(LoadSegmentTable(IniText("[Main]\nSegNumber=99999999999\n")).empty());
    EXPECT_EQ(LoadSegmentTable(IniText("[Main]\nSegNumber=4096\n")).size(), 4096u);
}

TEST(SegmentTable, NamesAreCutTo254Characters) {
    std::string name(260, 'n');
    SegmentTable table = LoadSegmentTable(IniText("[Main]\nSegNumber=1\nSeg0=" + name + "\n"));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name.size(), 254u);
}

TEST(VersionText, FromTheProductVersion) {
    EXPECT_EQ(GetVersionText(), "V2.105");
    EXPECT_EQ(FormatVersionText({2, 1, 0, 5}), "V2.105");
    EXPECT_EQ(FormatVersionText({10, 2, 3, 4}), "V10.234");
}

}  // namespace
}  // namespace pelorin
