// Prepared data file of a 2 MiB firmware-like image (machine code, then 0xFF padding): its size
// and the time PrepareDataFile takes at level 6, with the size level 9 would give beside it.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "config/data_prep.h"
#include "config/layout_trailer.h"
#include "config/work_dir.h"

namespace {

constexpr size_t kImageBytes = 2 * 1024 * 1024;
constexpr size_t kCodeBytes = 1280 * 1024;  // the rest is erased flash
constexpr int kRuns = 10;

}  // namespace

int main() {
    using namespace pelorin;
    // Machine code: this program's own file, repeated as often as needed.
    auto self = ReadWholeFile("/proc/self/exe");
    if (!self || self->empty()) return 1;
    std::vector<uint8_t> image(kImageBytes, 0xFF);
    for (size_t at = 0; at < kCodeBytes; at += self->size())
        std::copy_n(self->begin(), std::min(self->size(), kCodeBytes - at), image.begin() + at);

    std::string base = (std::filesystem::temp_directory_path() / "pelorin-bench-XXXXXX").string();
    if (!::mkdtemp(base.data())) return 1;
    WorkPaths paths = WorkPathsFor(base);
    ResetWorkTree(paths);
    std::filesystem::path source = paths.tempDir / "firmware.bin";
    {
        std::ofstream out(source, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), kImageBytes);
    }

    double best = 1e9;
    PreparedData prepared;
    for (int run = 0; run < kRuns; ++run) {
        auto start = std::chrono::steady_clock::now();
        prepared = PrepareDataFile(paths, {source, false, 0, kImageBytes});
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
        if (!prepared.ok) {
            std::fprintf(stderr, "%s\n", prepared.error.c_str());
            return 1;
        }
    }

    uint64_t level9 = 0;
    {
        std::string error;
        auto out = OutFile::CreateReplacing(paths.tempDir / "level9.gz", &error);
        std::ifstream in(source, std::ios::binary);
        GzipMemberOptions options;
        options.level = 9;
        options.name = kDataFileName;
        if (!out || !WriteGzipMember(in, kImageBytes, *out, options, UINT64_MAX, &level9, &error))
            return 1;
    }

    std::printf("PrepareDataFile, 2 MiB image (%zu KiB code, rest 0xFF):\n", kCodeBytes / 1024);
    std::printf("  level 6: %llu bytes (%.1f%%), best of %d runs %.1f ms\n",
                static_cast<unsigned long long>(prepared.preparedBytes),
                100.0 * static_cast<double>(prepared.preparedBytes) / kImageBytes, kRuns, best);
    std::printf("  level 9: %llu bytes (%.1f%%)\n", static_cast<unsigned long long>(level9),
                100.0 * static_cast<double>(level9) / kImageBytes);
    std::error_code ec;
    std::filesystem::remove_all(base, ec);
    return 0;
}
