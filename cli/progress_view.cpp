// Terminal, line and JSON output of an operation.
#include "cli/progress_view.h"

#include <algorithm>
#include <cinttypes>

namespace pelorin::cli {
namespace {

constexpr int kBarWidth = 30;

std::string Bar(unsigned percent) {
    const int filled = int(std::min(percent, 100u)) * kBarWidth / 100;
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), '-') + "]";
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string Bytes(double bytes) {
    char buffer[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(buffer, sizeof buffer, "%.2f MiB", bytes / 1024 / 1024);
    else
        std::snprintf(buffer, sizeof buffer, "%.1f KiB", bytes / 1024);
    return buffer;
}

}  // namespace

ProgressView::ProgressView(ViewStyle style, std::FILE* out, std::FILE* err)
    : style_(style), out_(out), err_(err) {}

void ProgressView::Stage(char letter, const std::string& text) {
    std::lock_guard lock(mutex_);
    stageText_ = text;
    if (letter != 'K') sending_ = false;
    if (letter != 'G') dumping_ = false;
    switch (style_) {
        case ViewStyle::Json:
            Json("{\"event\":\"stage\",\"letter\":\"" + std::string(1, letter) + "\",\"text\":\"" +
                 JsonEscape(text) + "\"}");
            break;
        case ViewStyle::Quiet: break;
        case ViewStyle::Bars:
            ClearBars();
            std::fprintf(out_, "%s\n", text.c_str());
            DrawBars();
            break;
        case ViewStyle::Lines: std::fprintf(out_, "%s\n", text.c_str()); break;
    }
    std::fflush(out_);
}

void ProgressView::Main(unsigned percent) {
    std::lock_guard lock(mutex_);
    if (main_ == percent) return;
    main_ = percent;
    ProgressLine();
}

void ProgressView::Sub(unsigned percent) {
    std::lock_guard lock(mutex_);
    if (sub_ == percent) return;
    sub_ = percent;
    ProgressLine();
}

void ProgressView::TransferBegin(uint64_t bytes, double bytesPerSecond) {
    std::lock_guard lock(mutex_);
    sending_ = true;
    dumping_ = false;
    stepTotal_ = bytes;
    sendRate_ = bytesPerSecond;
    stepStart_ = Clock::now();
}

void ProgressView::TransferEnd() {
    std::lock_guard lock(mutex_);
    sending_ = false;
}

void ProgressView::DumpBegin(uint64_t total) {
    std::lock_guard lock(mutex_);
    dumping_ = true;
    sending_ = false;
    stepTotal_ = total;
    stepStart_ = Clock::now();
}

void ProgressView::Tick() {
    std::lock_guard lock(mutex_);
    if (sending_ && stepTotal_ > 0) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - stepStart_).count();
        const double percent = std::min(100.0, elapsed * sendRate_ * 100.0 / double(stepTotal_));
        if (unsigned(percent) != sub_) {
            sub_ = unsigned(percent);
            ProgressLine();
        }
    }
    if (style_ == ViewStyle::Bars && (sending_ || dumping_)) {
        ClearBars();
        DrawBars();
        std::fflush(out_);
    }
}

void ProgressView::Message(const std::string& caption, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json)
        Json("{\"event\":\"message\",\"caption\":\"" + JsonEscape(caption) + "\",\"text\":\"" +
             JsonEscape(text) + "\"}");
    if (style_ == ViewStyle::Bars) ClearBars();
    std::string body = text;
    while (!body.empty() && body.back() == '\n') body.pop_back();
    std::fprintf(err_, "%s: %s\n", caption.c_str(), body.c_str());
    std::fflush(err_);
    if (style_ == ViewStyle::Bars) DrawBars();
    std::fflush(out_);
}

void ProgressView::Info(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        Json("{\"event\":\"info\",\"text\":\"" + JsonEscape(text) + "\"}");
    } else if (style_ != ViewStyle::Quiet) {
        if (style_ == ViewStyle::Bars) ClearBars();
        std::fprintf(out_, "%s\n", text.c_str());
        if (style_ == ViewStyle::Bars) DrawBars();
    }
    std::fflush(out_);
}

void ProgressView::Result(int exitCode, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        Json("{\"event\":\"result\",\"exit\":" + std::to_string(exitCode) + ",\"text\":\"" +
             JsonEscape(text) + "\"}");
    } else {
        if (style_ == ViewStyle::Bars) ClearBars(), DrawBars();
        std::FILE* to = exitCode == 0 ? out_ : err_;
        // The last stage already said "Mission completed" on a success.
        const bool said = exitCode == 0 && text == stageText_ && style_ != ViewStyle::Quiet;
        if (!said && (exitCode != 0 || style_ != ViewStyle::Quiet)) std::fprintf(to, "%s\n", text.c_str());
        barsShown_ = false;
    }
    std::fflush(out_);
    std::fflush(err_);
}

void ProgressView::ClearBars() {
    if (!barsShown_) return;
    std::fputs("\x1b[2F\x1b[J", out_);  // up two lines, clear to the end of the screen
    barsShown_ = false;
}

std::string ProgressView::StepDetail() const {
    if (!(sending_ || dumping_) || stepTotal_ == 0) return {};
    const double done = double(stepTotal_) * sub_ / 100.0;
    const double elapsed = std::chrono::duration<double>(Clock::now() - stepStart_).count();
    const double rate = sending_ ? sendRate_ : (elapsed > 0.2 ? done / elapsed : 0.0);
    std::string detail = "  " + Bytes(done) + " / " + Bytes(double(stepTotal_));
    if (rate > 0) {
        const double left = (double(stepTotal_) - done) / rate;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "  %s/s  %d:%02d left", Bytes(rate).c_str(),
                      int(left) / 60, int(left) % 60);
        detail += buffer;
    }
    return detail;
}

void ProgressView::DrawBars() {
    if (style_ != ViewStyle::Bars) return;
    std::fprintf(out_, "  overall %s %3u%%\n", Bar(main_).c_str(), main_);
    std::fprintf(out_, "  step    %s %3u%%%s\n", Bar(sub_).c_str(), sub_, StepDetail().c_str());
    barsShown_ = true;
}

void ProgressView::ProgressLine() {
    switch (style_) {
        case ViewStyle::Bars:
            ClearBars();
            DrawBars();
            break;
        case ViewStyle::Lines: {
            const unsigned decile = main_ / 10;
            if (decile != lastLineDecile_) {
                lastLineDecile_ = decile;
                std::fprintf(out_, "  %u%% (step %u%%)\n", main_, sub_);
            }
            break;
        }
        case ViewStyle::Json:
            Json("{\"event\":\"progress\",\"overall\":" + std::to_string(main_) +
                 ",\"step\":" + std::to_string(sub_) + "}");
            break;
        case ViewStyle::Quiet: break;
    }
    std::fflush(out_);
}

void ProgressView::Json(const std::string& object) {
    std::fprintf(out_, "%s\n", object.c_str());
}

}  // namespace pelorin::cli
