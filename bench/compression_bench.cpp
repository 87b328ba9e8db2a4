// Default (zlib level 6) and best (libdeflate level 12) compression of a 2 MiB firmware-like
// image: bytes on the wire, their line time at 115200 baud, and the preparation time of each.
// Prints its figures; asserts nothing about time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "config/data_prep.h"
#include "config/work_dir.h"
#include "sim/firmware_image.h"

using namespace pelorin;
namespace fs = std::filesystem;

int main() {
    constexpr double kLineBytesPerSecond = 115200.0 / 10;  // 8N1
    constexpr uint32_t kFlashBytes = 2u << 20;
    constexpr int kRuns = 3;
    auto userDir = PrivateUserDir(std::getenv("TMPDIR"));
    std::string error;
    auto work = WorkDir::Open(userDir.path, &error);
    if (!work || !ResetWorkTree(work->Paths())) return 1;
    const fs::path imagePath = work->Paths().innerDir / "image.bin";
    const auto image = sim::MakeFirmwareImage(kFlashBytes, kFlashBytes * 5 / 8);
    std::ofstream(imagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

    std::printf("2 MiB firmware-like image (5/8 code, the rest erased), line 115200 baud 8N1\n");
    double sizes[2] = {};
    for (Compression c : {Compression::Standard, Compression::Best}) {
        double best = 1e9;
        PreparedData data;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = std::chrono::steady_clock::now();
            data = PrepareDataFile(work->Paths(), {imagePath, false, 0, kFlashBytes, c});
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (!data.ok) return 1;
            best = std::min(best, took.count());
        }
        sizes[int(c)] = double(data.preparedBytes);
        std::printf(
            "%-28s %9llu bytes  line %6.1f s  preparation %6.3f s (best of %d)\n",
            c == Compression::Best ? "best (libdeflate level 12)" : "default (zlib level 6)",
            static_cast<unsigned long long>(data.preparedBytes),
            double(data.preparedBytes) / kLineBytesPerSecond, best, kRuns);
    }
    std::printf("best sends %.1f %% fewer bytes (goal >= 4 %%)\n",
                100.0 * (1 - sizes[1] / sizes[0]));
    std::error_code ec;
    fs::remove(imagePath, ec);
    CleanUpWorkFiles(work->Paths(), true);
    return 0;
}
