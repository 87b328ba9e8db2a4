// Status lines that fit the terminal.
#include "cli/status_line.h"

#include <algorithm>
#include <cstdio>

namespace pelorin::cli {
namespace {

// How far the line has given way; each level keeps what the ones before took away.
struct Budget {
    bool speed = true;
    int bar = 20;
    bool longCounts = true;
    size_t state = 26;
    size_t label = 32;
    bool longBytes = true;
    bool timeLeft = true;
};

std::string Padded(const std::string& text, size_t width) {
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > width)
        line = width > 3 ? line.substr(0, width - 3) + "..." : line.substr(0, width);
    return line + std::string(width - line.size(), ' ');
}

// A port name keeps its end, where device names differ ("...by-id/usb-FTDI_A1-if00").
std::string LabelOf(const std::string& label, size_t width) {
    if (label.size() <= width) return label + std::string(width - label.size(), ' ');
    if (width <= 2) return label.substr(label.size() - width);
    return ".." + label.substr(label.size() - (width - 2));
}

std::string Compose(const StatusParts& p, const Budget& b) {
    std::string text = LabelOf(p.label, std::min(p.labelWidth, b.label)) + "  " +
                       Padded(p.state, b.state) + " " + BarText(p.percent, b.bar);
    char pct[8];
    std::snprintf(pct, sizeof pct, " %3u%%", std::min(p.percent, 100u));
    text += pct;
    if (p.hasBytes && p.total > 0) {
        if (b.longBytes)
            text += "  " + ByteText(double(p.done)) + " / " + ByteText(double(p.total));
        else
            text += "  " + ByteText(double(p.done));
        if (b.speed && p.bytesPerSecond > 0) text += "  " + ByteText(p.bytesPerSecond) + "/s";
        if (b.timeLeft && p.secondsLeft >= 0) {
            const auto left = static_cast<long long>(p.secondsLeft + 0.5);
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "  %lld:%02lld left", left / 60, left % 60);
            text += buffer;
        }
    }
    if (p.passed) {
        const std::string cancelled =
            p.cancelled && *p.cancelled ? std::to_string(*p.cancelled) : std::string();
        if (b.longCounts)
            text += "  passed " + std::to_string(*p.passed) + " failed " +
                    std::to_string(p.failed.value_or(0)) +
                    (cancelled.empty() ? "" : " cancelled " + cancelled);
        else
            text += "  " + std::to_string(*p.passed) + "/" + std::to_string(p.failed.value_or(0)) +
                    (cancelled.empty() ? "" : "/" + cancelled);
    }
    return text;
}

}  // namespace

std::string ByteText(double bytes) {
    char buffer[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(buffer, sizeof buffer, "%.2f MiB", bytes / 1024 / 1024);
    else
        std::snprintf(buffer, sizeof buffer, "%.1f KiB", bytes / 1024);
    return buffer;
}

std::string BarText(unsigned percent, int width) {
    const auto filled = size_t(std::min(percent, 100u)) * size_t(width) / 100;
    std::string bar(size_t(width) + 2, '-');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    return bar;
}

std::vector<std::string> StatusLines(const std::vector<StatusParts>& lines, size_t columns) {
    const size_t room = columns > 1 ? columns - 1 : 1;
    // Each step gives up one more thing, in this order.
    void (*const steps[])(Budget&) = {
        [](Budget&) {},
        [](Budget& x) { x.speed = false; },
        [](Budget& x) { x.bar = 10; },
        [](Budget& x) { x.longCounts = false; },
        [](Budget& x) { x.state = 16; },
        [](Budget& x) { x.label = 12; },
        [](Budget& x) { x.longBytes = false; },
        [](Budget& x) { x.timeLeft = false; },
        [](Budget& x) { x.state = 10, x.bar = 5, x.label = 8; },
    };
    Budget b;
    std::vector<std::string> texts;
    for (auto step : steps) {
        step(b);
        texts.clear();
        bool fit = true;
        for (const StatusParts& parts : lines) {
            texts.push_back(Compose(parts, b));
            fit = fit && texts.back().size() <= room;
        }
        if (fit) return texts;
    }
    for (std::string& text : texts)
        if (text.size() > room) text.resize(room);
    return texts;
}

}  // namespace pelorin::cli
