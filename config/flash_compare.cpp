// Comparing a dump with what was written.
#include "config/flash_compare.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

namespace pelorin {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// Compares `count` bytes of both streams; the offset of the first difference, if any.
std::optional<uint64_t> FirstDifference(std::istream& a, std::istream& b, uint64_t count) {
    std::vector<char> x(kChunkBytes), y(kChunkBytes);
    for (uint64_t done = 0; done < count;) {
        const auto want =
            static_cast<std::streamsize>(std::min<uint64_t>(kChunkBytes, count - done));
        a.read(x.data(), want);
        b.read(y.data(), want);
        const auto got = std::min(a.gcount(), b.gcount());
        const auto diff = std::mismatch(x.begin(), x.begin() + got, y.begin());
        if (diff.first != x.begin() + got) return done + uint64_t(diff.first - x.begin());
        if (got < want) return done + uint64_t(got);
        done += uint64_t(got);
    }
    return std::nullopt;
}

bool AllErased(std::istream& in, uint64_t count) {
    std::vector<char> x(kChunkBytes);
    for (uint64_t done = 0; done < count;) {
        const auto want =
            static_cast<std::streamsize>(std::min<uint64_t>(kChunkBytes, count - done));
        in.read(x.data(), want);
        if (in.gcount() != want) return false;
        if (!std::all_of(x.begin(), x.begin() + want, [](char c) { return uint8_t(c) == 0xFF; }))
            return false;
        done += uint64_t(want);
    }
    return true;
}

}  // namespace

VerifyReport CompareWritten(const std::filesystem::path& dump, const WrittenData& w) {
    VerifyReport report;
    std::error_code ec;
    const uint64_t fileBytes = std::filesystem::file_size(w.file, ec);
    std::ifstream source(w.file, std::ios::binary);
    std::ifstream flash(dump, std::ios::binary);
    if (ec || !source || !flash) {
        report.error = "Can't read " + (flash ? w.file.string() : dump.string()) + " to verify";
        return report;
    }
    uint64_t offset = 0;
    uint64_t count = std::min<uint64_t>(fileBytes, w.sectionSize);
    if (w.wholeImage) {
        offset = std::min<uint64_t>(w.startAddress, fileBytes);
        count = std::min<uint64_t>(w.sectionSize, fileBytes - offset);
    }
    source.seekg(static_cast<std::streamoff>(offset));
    report.compared = count;
    report.firstDifference = FirstDifference(source, flash, count);
    if (report.firstDifference) return report;
    report.tailBytes = w.sectionSize - count;
    report.tailErased = AllErased(flash, report.tailBytes);
    return report;
}

std::string VerifyText(const VerifyReport& r, uint32_t startAddress) {
    if (!r.error.empty()) return r.error;
    if (r.firstDifference)
        return "differs at offset " + Hex(*r.firstDifference) + " (address " +
               Hex(startAddress + *r.firstDifference) + ")";
    if (r.tailBytes == 0) return "passed";
    return "passed; the " + std::to_string(r.tailBytes) + " bytes after the file are " +
           (r.tailErased ? "erased (0xFF)" : "not erased");
}

}  // namespace pelorin
