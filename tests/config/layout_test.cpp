// Segment layout: default text, the program file's trailer, the INI reader and the segment
// table.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "config/compression.h"
#include "config/crc32.h"
#include "config/default_layout.h"
#include "config/ini_reader.h"
#include "config/layout_file.h"
#include "config/layout_trailer.h"
#include "config/segment_table.h"
#include "temp_dir.h"

namespace pelorin {
namespace {

using namespace testing;
using Bytes = std::vector<uint8_t>;

Bytes FakeImage(size_t size) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

// The default text: CR LF lines, and sections that cover the 2 MiB flash without gaps after
// "All".
TEST(DefaultLayout, TextAndSections) {
    const std::string text = DefaultLayoutText();
    EXPECT_EQ(std::ranges::count(text, '\n'), std::ranges::count(text, '\r'));
    const SegmentTable table = LoadSegmentTable(IniText(text));
    ASSERT_EQ(table.size(), 9u);
    EXPECT_EQ(table[0].segSize, 0x200000u);
    uint32_t next = 0;
    for (size_t i = 1; i < table.size(); ++i) {
        EXPECT_EQ(table[i].startAddr, next) << table[i].name;
        next += table[i].segSize;
    }
    EXPECT_EQ(next, 0x200000u);
}

// What the working layout file holds for a program file: its appended text when the trailer is
// intact and in bounds, else the default.
TEST(LayoutTrailer, ValidTextByteForByteElseTheDefault) {
    EXPECT_EQ(Crc32(std::string_view("c"), Crc32(std::string_view("ab"))), 0x352441C2u);
    const std::string text =
        "[Main]\nSegNumber=1\r\nSeg0=X\r[X]\r\nStartAddr=0x10\r\nSegSize=0x20\r\n\xff";
    const Bytes good = *AppendLayoutTrailer(FakeImage(500), text);
    // The trailer as it stands: CRC, then the text's offset, little-endian.
    const auto withOffset = [](uint32_t offset) {
        Bytes file = FakeImage(100);
        for (uint32_t v : {0u, offset})
            for (int s = 0; s < 32; s += 8) file.push_back(static_cast<uint8_t>(v >> s));
        return file;
    };
    const auto flipped = [&](size_t at) {
        Bytes file = good;
        file[at] ^= 1;
        return file;
    };
    struct Case {
        const char* what;
        Bytes file;
        std::string expected;
    };
    const std::string def = DefaultLayoutText();
    const Case cases[] = {
        {"valid", good, text},
        {"empty text", *AppendLayoutTrailer(FakeImage(300), ""), ""},
        {"offset exactly at the trailer, CRC 0", withOffset(100), ""},
        {"first text byte changed", flipped(500), def},
        {"last text byte changed", flipped(500 + text.size() - 1), def},
        {"CRC changed", flipped(good.size() - 8), def},
        {"offset changed", flipped(good.size() - 4), def},
        {"offset beyond the file", withOffset(10000), def},
        {"offset inside the trailer", withOffset(104), def},
        {"offset at the file's end", withOffset(108), def},
        {"no trailer: zeros, as built", withOffset(0), def},
        {"shorter than a trailer", {1, 2, 3}, def},
    };
    TempDir dir;
    for (const Case& c : cases) {
        WriteBytes(dir / "program", c.file);
        ASSERT_TRUE(ExtractLayout(dir / "program", dir / "layout.tmp"));
        EXPECT_EQ(ReadText(dir / "layout.tmp"), c.expected) << c.what;
        // A valid trailer and its text are cut off the program; else the file is all program.
        const size_t cut = c.expected == def ? 0 : c.expected.size() + 8;
        EXPECT_EQ(ExecutableImage(c.file).size(), c.file.size() - cut) << c.what;
    }
    EXPECT_EQ(LayoutTextOf(dir / "missing"), def);
}

// The rules of the Windows private profile reader: case, blanks, comments, the first of two equal
// sections or keys, values cut to 254 characters, numbers clamped to 32 bits.
TEST(IniText, PrivateProfileRules) {
    const IniText ini(
        "k=outside\n[Main]\r\n  SegSize   =  0x00200000  \r\n;COM=3\r\n"
        "  ; XTAL=4\r\nname=a=b\r\nlong=" +
        std::string(300, 'v') +
        "\n[ Other ]\nkey=\nCount=-12abc\nbig=99999999999\nsmall=-99999999999\n"
        "[main]\nlate=1\n[A]\nk=1\nK=2\n");
    const std::tuple<const char*, const char*, std::string> strings[] = {
        {"MAIN", "SEGSIZE", "0x00200000"},
        {"Main", "name", "a=b"},
        {"other", "key", ""},
        {"Main", "long", std::string(254, 'v')},
        {"Main", "COM", "fb"},
        {"Main", ";COM", "fb"},
        {"Main", "XTAL", "fb"},
        {"Main", "late", "fb"},
        {"Missing", "key", "fb"},
        {"", "k", "fb"}};
    for (const auto& [section, key, value] : strings)
        EXPECT_EQ(ini.GetString(section, key, "fb"), value) << section << "/" << key;
    const std::tuple<const char*, const char*, int> ints[] = {
        {"Other", "key", 0},           {"Other", "Count", -12}, {"Other", "big", INT32_MAX},
        {"Other", "small", INT32_MIN}, {"Main", "missing", 7},  {"A", "k", 1}};
    for (const auto& [section, key, value] : ints)
        EXPECT_EQ(ini.GetInt(section, key, 7), value) << section << "/" << key;
}

TEST(SegmentHex, SecondCharacterIsTakenAsZero) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"0x001c0000", 0x001C0000}, {"12345", 0x10345},          {"0x12G4", 0x12}, {"0x", 0},
        {"0xFFFFFFFF", 0xFFFFFFFF}, {"0x123456789", 0xFFFFFFFF}, {"", 0},          {"F", 0}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseSegmentHex(text), value) << text;
}

// A line up to the cap is read; a longer one defines nothing and refuses the sections, while
// the other lines (a lock among the settings) still count.
TEST(IniText, LineLengthCap) {
    const std::string longest(kIniLineMaxBytes - 2, 'v');
    EXPECT_EQ(IniText("[A]\r\nk=" + longest + "\r\n").GetString("A", "k").size(), 254u);
    const IniText layout("[Main]\r\nSegNumber=1\r\n\r\nSeg0=" + longest + "vv\n[Config]\nLock=1");
    EXPECT_EQ(layout.GetString("Main", "Seg0", "fb"), "fb");
    EXPECT_EQ(layout.GetInt("Config", "Lock"), 1);
    EXPECT_EQ(layout.Error(),
              "line 4 has 65541 bytes, more than the 64 KiB (65536 bytes) a "
              "line may have");
    std::string error = "stale";
    EXPECT_TRUE(LoadSegmentTable(layout, &error).empty());
    EXPECT_EQ(error, "The layout is refused: " + layout.Error());
}

TEST(SegmentTable, CountsNamesAndBounds) {
    const std::string nine =
        "Seg0=A\nSeg1=B\nSeg2=C\nSeg3=D\nSeg4=E\nSeg5=F\nSeg6=G\nSeg7=H\nSeg8=I\n";
    for (const auto& [count, size, error] :
         std::initializer_list<std::tuple<const char*, size_t, std::string>>{
             {"", 0, ""},
             {"0", 0, ""},
             {"-3", 0, ""},
             {"4096", 4096, ""},
             {"4097", 0, "SegNumber 4097 is too large: a layout has at most 4096 sections"},
             {"100000", 0, "SegNumber 100000 is too large: a layout has at most 4096 sections"},
             {"99999999999", 0,
              "SegNumber 99999999999 is too large: a layout has at most 4096 sections"}}) {
        std::string why = "stale";
        EXPECT_EQ(
            LoadSegmentTable(IniText("[Main]\nSegNumber=" + std::string(count) + "\n" + nine), &why)
                .size(),
            size)
            << count;
        EXPECT_EQ(why, error.empty() ? "" : "The layout is refused: " + error) << count;
    }
    // A section may end at 4 GiB, not beyond; the one that passes it is named.
    const auto sections = [](const char* start, const char* size) {
        return IniText(std::string("[Main]\nSegNumber=2\nSeg0=Low\nSeg1=Key\n[Low]\nSegSize=0x10\n"
                                   "[Key]\nStartAddr=") +
                       start + "\nSegSize=" + size + "\n");
    };
    std::string why;
    EXPECT_EQ(LoadSegmentTable(sections("0xFFFF0000", "0x00010000"), &why).size(), 2u);
    EXPECT_EQ(LoadSegmentTable(sections("0x00000000", "0x123456789"), &why).size(), 2u);
    EXPECT_TRUE(LoadSegmentTable(sections("0xFFFF0000", "0x00010001"), &why).empty());
    EXPECT_EQ(why,
              "The layout is refused: section Key (StartAddr 0xFFFF0000, SegSize "
              "0x00010001) ends beyond 4 GiB");
    // More entries than names give empty ones; equal names read the same section.
    SegmentTable table = LoadSegmentTable(
        IniText("[Main]\nSegNumber=4\nSeg0=Code\nSeg1=code\nSeg2=" + std::string(260, 'n') +
                "\n[Code]\nStartAddr=0x100\nSegSize=0x200\n"));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[1].name, "code");
    EXPECT_EQ(table[1].startAddr, 0x100u);
    EXPECT_EQ(table[1].segSize, 0x200u);
    EXPECT_EQ(table[2].name.size(), 254u);
    EXPECT_EQ(table[3].name, "");
    EXPECT_EQ(table[3].segSize, 0u);
}

}  // namespace
}  // namespace pelorin

namespace pelorin {
namespace {

// Names without case; the layout's key is the default when missing or unknown, an unknown one
// with a warning for the operator.
TEST(Compression, NamesAndTheLayoutKey) {
    EXPECT_EQ(CompressionForName("BEST"), Compression::Best);
    EXPECT_EQ(CompressionForName("default"), Compression::Standard);
    EXPECT_FALSE(CompressionForName("9"));
    std::string warning = "stale";
    const std::pair<const char*, Compression> layouts[] = {
        {"Compression = best", Compression::Best},
        {";Compression=best", Compression::Standard},
        {"Compression=", Compression::Standard}};
    for (const auto& [line, compression] : layouts) {
        EXPECT_EQ(CompressionOfLayout(IniText(std::string("[Config]\r\n") + line), &warning),
                  compression)
            << line;
        EXPECT_EQ(warning, "") << line;
    }
    EXPECT_EQ(CompressionOfLayout(IniText("[Config]\nCompression=bogus\n"), &warning),
              Compression::Standard);
    EXPECT_EQ(warning,
              "The layout's Compression=bogus is unknown (default, standard or best): the "
              "default is used");
}

}  // namespace
}  // namespace pelorin
