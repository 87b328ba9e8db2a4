// The flash sections named by the layout text, in list order: entry i is item i of the section
// list.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/ini_reader.h"

namespace pelorin {

// More sections than this is taken as a damaged layout; the table is then empty.
inline constexpr int32_t kMaxSegmentCount = 4096;

struct SegmentEntry {
    std::string name;  // at most 254 characters; also the name of its INI section
    uint32_t startAddr = 0;
    uint32_t segSize = 0;
};
using SegmentTable = std::vector<SegmentEntry>;

// A StartAddr or SegSize value: the second character is taken as "0" (so "0x" prefixes read
// as "00"), then hexadecimal digits up to the first other character, saturating at
// 0xFFFFFFFF. Values of fewer than two characters give 0.
uint32_t ParseSegmentHex(std::string_view value);

// The table of [Main] SegNumber entries; empty when SegNumber is missing, 0 or negative.
// Missing names, addresses or sizes give empty names and zeros. A layout that cannot be is
// refused, the table then empty and `error` (when given) saying why: a line the reader
// could not read, SegNumber above kMaxSegmentCount, a section whose end passes 4 GiB.
SegmentTable LoadSegmentTable(const IniText& layout, std::string* error = nullptr);
// The same from the working layout file; an unreadable file gives an empty table.
SegmentTable LoadSegmentTable(const std::filesystem::path& layoutPath);

// The section named `name` (compared without case), or the first when `name` is empty; null
// when there is none.
const SegmentEntry* FindSegment(const SegmentTable& table, std::string_view name);
// What a front end says of a section name the layout does not define.
std::string NoSectionText(std::string_view name);

}  // namespace pelorin
