// Reading layout texts: milliseconds for the longest line taken, a 1 MiB line (refused) and
// 1 MiB of ordinary lines, each as the window reads it at start.
#include <chrono>
#include <cstdio>
#include <string>

#include "config/ini_reader.h"
#include "config/segment_table.h"

namespace {

// Reads `text` as the window does at start and prints the time with what came of it.
void Measure(const char* what, const std::string& text) {
    const auto start = std::chrono::steady_clock::now();
    const pelorin::IniText ini(text);
    std::string error;
    const pelorin::SegmentTable table = pelorin::LoadSegmentTable(ini, &error);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%-30s %8.2f ms  %zu sections%s%s\n", what, took.count(), table.size(),
                error.empty() ? "" : "; ", error.c_str());
}

}  // namespace

int main() {
    const std::string head = "[Main]\r\nSegNumber=1\r\nSeg0=All\r\n[All]\r\nSegSize=0x00200000\r\n";
    std::string ordinary = head;
    while (ordinary.size() < (1u << 20)) ordinary += "Comment=some ordinary value\r\n";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"longest line taken (64 KiB)",
         head + "k=" + std::string(pelorin::kIniLineMaxBytes - 2, 'x') + "\r\n"},
        {"one 1 MiB line", head + "k=" + std::string(1u << 20, 'x') + "\r\n"},
        {"1 MiB of short lines", ordinary},
    };
    for (const auto& c : cases) Measure(c.what, c.text);
    return 0;
}
