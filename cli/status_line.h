// One port's status line on a terminal, fitted to the terminal's width: the port, its state,
// a bar with the board's overall percentage, the bytes of the step that drives it, speed, time
// left and, on a production line, the boards so far. When the line is too wide its parts give
// way in a fixed order: the speed goes, the bar narrows, the counts shorten, the state
// narrows, the port name keeps only its end, the bytes shorten, the time left goes; last the
// line is cut.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelorin::cli {

struct StatusParts {
    std::string label;
    size_t labelWidth = 0;  // all ports' names padded to this, so the bars line up
    std::string state;
    unsigned percent = 0;
    bool hasBytes = false;
    uint64_t done = 0;
    uint64_t total = 0;
    double bytesPerSecond = 0;                          // 0: not measured
    double secondsLeft = -1;                            // negative: unknown
    std::optional<unsigned> passed, failed, cancelled;  // set on a production line with --repeat
};

// At most `columns` - 1 characters each (the last column would wrap on some terminals). All
// lines give way as far as the widest needs, so their columns stay aligned.
std::vector<std::string> StatusLines(const std::vector<StatusParts>& lines, size_t columns);

// "1.25 MiB", "12.0 KiB".
std::string ByteText(double bytes);
// "[####------]" with `width` cells.
std::string BarText(unsigned percent, int width);

}  // namespace pelorin::cli
