// Terminal, line and JSON output of an operation.
#include "cli/progress_view.h"

#include <algorithm>

#include "cli/exit_codes.h"
#include "session/stage_texts.h"
#include "session/watchdog.h"

namespace pelorin::cli {
namespace {

constexpr int kBarWidth = 30;

struct OutcomeRow {
    Outcome outcome;
    int exitCode;
    const char* name;  // in JSON
};
constexpr OutcomeRow kOutcomes[] = {
    {Outcome::Completed, kExitOk, "completed"},
    {Outcome::BadInput, kExitBadInput, "bad-input"},
    {Outcome::PortFailed, kExitPortFailed, "port-failed"},
    {Outcome::TimedOut, kExitTimedOut, "timed-out"},
    {Outcome::TransferError, kExitTransferError, "transfer-error"},
    {Outcome::DeviceGone, kExitDeviceGone, "device-gone"},
    {Outcome::Cancelled, kExitCancelled, "cancelled"},
};

std::string Bar(unsigned percent) {
    const auto filled = size_t(std::min(percent, 100u)) * kBarWidth / 100;
    std::string bar(kBarWidth + 2, '-');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    return bar;
}

std::string Bytes(double bytes) {
    char buffer[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(buffer, sizeof buffer, "%.2f MiB", bytes / 1024 / 1024);
    else
        std::snprintf(buffer, sizeof buffer, "%.1f KiB", bytes / 1024);
    return buffer;
}

std::string Decimal(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

std::string TrimmedLines(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

const char* OutcomeName(int exitCode) {
    if (exitCode == kExitVerifyFailed) return "verify-failed";
    if (exitCode == kExitLogFailed) return "log-failed";
    for (const OutcomeRow& row : kOutcomes)
        if (row.exitCode == exitCode) return row.name;
    return "failed";
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

std::string ByteText(double bytes) {
    return Bytes(bytes);
}

std::string BarText(unsigned percent, int width) {
    const auto filled = size_t(std::min(percent, 100u)) * size_t(width) / 100;
    std::string bar(size_t(width) + 2, '-');
    bar.front() = '[';
    bar.back() = ']';
    std::fill_n(bar.begin() + 1, filled, '#');
    return bar;
}

int ExitCodeFor(Outcome outcome) {
    for (const OutcomeRow& row : kOutcomes)
        if (row.outcome == outcome) return row.exitCode;
    return kExitTransferError;
}

ProgressView::ProgressView(ViewStyle style, std::FILE* out, std::FILE* err)
    : style_(style), out_(out), err_(err) {}

void ProgressView::OnStarted(const std::string& statusText) {
    // The window's text carries its button's keyboard mark; a terminal shows none.
    std::string text = statusText;
    std::erase(text, '&');
    OnInfo(text);
}

void ProgressView::OnStage(char letter, const std::string& text) {
    std::lock_guard lock(mutex_);
    stage_ = letter;
    stageText_ = text;
    step_ = {};
    lastStepDecile_ = -1;
    if (style_ == ViewStyle::Json) {
        Json("{\"event\":\"stage\",\"letter\":\"" + JsonEscape(std::string(1, letter)) +
             "\",\"text\":\"" + JsonEscape(text) + "\"}");
    } else if (style_ != ViewStyle::Quiet && !IsFinalStage(letter)) {
        // The final stages are said once, as the result, after the last progress line.
        ClearBars();
        std::fprintf(out_, "%s\n", text.c_str());
        Redraw(true);
    }
    Flush();
}

void ProgressView::OnMainPercent(unsigned percent) {
    std::lock_guard lock(mutex_);
    if (main_ == percent) return;
    main_ = percent;
    ProgressLines();
}

void ProgressView::OnSubPercent(unsigned percent) {
    std::lock_guard lock(mutex_);
    if (sub_ == percent || step_.active) return;  // a measured step shows its own bytes
    sub_ = percent;
    ProgressLines();
}

void ProgressView::OnSendBegin(uint64_t) {}

void ProgressView::OnSendEnd() {}

void ProgressView::OnStep(const StepProgress& step) {
    std::lock_guard lock(mutex_);
    step_ = step;
    if (!step.active || step.total == 0) return;
    sub_ = unsigned(step.done * 100 / step.total);
    main_ = std::max(main_, step.overallPercent);
    if (style_ == ViewStyle::Lines) {
        const int decile = int(sub_ / 10);
        if (decile != lastStepDecile_) {
            lastStepDecile_ = decile;
            std::fprintf(out_, "  %s %3u%%%s\n", step.dump ? "received" : "sent    ", sub_,
                         StepDetail().c_str());
        }
    }
    ProgressLines();
}

void ProgressView::OnTimeout(char stage, const std::string& text) {
    std::string body = TrimmedLines(text);
    if (stage != 0) {
        const std::string_view name = StageTextFor(stage);
        body += "\nThe target fell silent at stage '" + std::string(1, stage) + "'" +
                (name.empty() ? std::string() : " (" + std::string(name) + ")") + ".";
    }
    Message(kTimeoutCaption, body);
}

void ProgressView::OnInfo(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        Json("{\"event\":\"info\",\"text\":\"" + JsonEscape(text) + "\"}");
    } else if (style_ != ViewStyle::Quiet) {
        ClearBars();
        std::fprintf(out_, "%s\n", text.c_str());
        Redraw(true);
    }
    Flush();
}

void ProgressView::OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) {
    std::lock_guard lock(mutex_);
    outcome_ = outcome;
    resultText_ = text;
    resultShown_ = shownAsMessage;
}

void ProgressView::Message(const std::string& caption, const std::string& text) {
    std::lock_guard lock(mutex_);
    const std::string body = TrimmedLines(text);
    if (style_ == ViewStyle::Json)
        Json("{\"event\":\"message\",\"caption\":\"" + JsonEscape(caption) + "\",\"text\":\"" +
             JsonEscape(body) + "\"}");
    ClearBars();
    Flush();
    std::fprintf(err_, "%s: %s\n", caption.c_str(), body.c_str());
    std::fflush(err_);
    Redraw(true);
    Flush();
}

void ProgressView::PrintResult(int exitCode) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        Json("{\"event\":\"result\",\"exit\":" + std::to_string(exitCode) + ",\"outcome\":\"" +
             OutcomeName(exitCode) + "\",\"text\":\"" + JsonEscape(TrimmedLines(resultText_)) +
             "\"}");
        Flush();
        return;
    }
    if (style_ == ViewStyle::Bars) {
        ClearBars();
        DrawBars();
        barsShown_ = false;
    }
    if (exitCode == kExitOk) {
        std::fprintf(out_, "%s\n", resultText_.c_str());
    } else if (!resultShown_) {
        Flush();
        std::fprintf(err_, "%s\n", TrimmedLines(resultText_).c_str());
    }
    // The window beeps at the end; a terminal rings.
    if (style_ == ViewStyle::Bars) std::fputc('\a', out_);
    Flush();
    std::fflush(err_);
}

std::string ProgressView::ResultText() {
    std::lock_guard lock(mutex_);
    return TrimmedLines(resultText_);
}

void ProgressView::EarlyFailure(int exitCode, const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        resultText_ = text;
        resultShown_ = false;
    }
    if (style_ == ViewStyle::Json) {
        PrintResult(exitCode);
        return;
    }
    std::lock_guard lock(mutex_);
    std::fprintf(err_, "pelorin-cli: %s\n", TrimmedLines(text).c_str());
    std::fflush(err_);
}

void ProgressView::Redraw(bool force) {
    if (style_ != ViewStyle::Bars) return;
    const auto now = Clock::now();
    if (!force && barsShown_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    ClearBars();
    DrawBars();
}

void ProgressView::ClearBars() {
    if (!barsShown_) return;
    std::fputs("\x1b[2F\x1b[J", out_);  // up two lines, clear to the end of the screen
    barsShown_ = false;
}

std::string ProgressView::StepDetail() const {
    if (!step_.active || step_.total == 0) return {};
    std::string detail = "  " + Bytes(double(step_.done)) + " / " + Bytes(double(step_.total));
    if (step_.bytesPerSecond > 0) {
        const auto left = static_cast<long long>(step_.secondsLeft + 0.5);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "  %s/s  %lld:%02lld left",
                      Bytes(step_.bytesPerSecond).c_str(), left / 60, left % 60);
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

void ProgressView::ProgressLines() {
    switch (style_) {
        case ViewStyle::Bars:
            Redraw(false);
            break;
        case ViewStyle::Lines: {
            const int decile = int(main_ / 10);
            if (decile != lastMainDecile_) {
                lastMainDecile_ = decile;
                std::fprintf(out_, "  %u%% overall\n", main_);
            }
            break;
        }
        case ViewStyle::Json:
            Json("{\"event\":\"progress\",\"overall\":" + std::to_string(main_) +
                 ",\"step\":" + std::to_string(sub_) +
                 (step_.active ? ",\"bytes\":" + std::to_string(step_.done) + ",\"total\":" +
                                     std::to_string(step_.total) + ",\"bytesPerSecond\":" +
                                     std::to_string(static_cast<long long>(step_.bytesPerSecond)) +
                                     ",\"secondsLeft\":" + Decimal(step_.secondsLeft)
                               : std::string()) +
                 "}");
            break;
        case ViewStyle::Quiet:
            break;
    }
    Flush();
}

void ProgressView::Json(const std::string& object) {
    std::fprintf(out_, "%s\n", object.c_str());
}

void ProgressView::Flush() {
    std::fflush(out_);
}

}  // namespace pelorin::cli
