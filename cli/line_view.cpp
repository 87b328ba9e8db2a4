// Several ports on one screen.
#include "cli/line_view.h"

#include <algorithm>

#include "cli/exit_codes.h"
#include "session/stage_texts.h"
#include "session/watchdog.h"

namespace pelorin::cli {
namespace {

constexpr int kBarWidth = 20;
constexpr size_t kStateWidth = 26;

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string Fitted(const std::string& text, size_t width) {
    std::string line = text.substr(0, text.find('\n'));
    if (line.size() > width) line = line.substr(0, width - 3) + "...";
    return line + std::string(width - line.size(), ' ');
}

}  // namespace

LineScreen::LineScreen(ViewStyle style, std::FILE* out, std::FILE* err,
                       std::vector<std::string> ports, bool counts)
    : style_(style), out_(out), err_(err), counts_(counts) {
    for (std::string& label : ports) {
        PortLine line;
        line.label = std::move(label);
        line.state = "waiting";
        lines_.push_back(std::move(line));
    }
}

void LineScreen::Stage(size_t port, char letter, const std::string& text) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.state = text;
    line.step = {};
    line.lastStepDecile = -1;
    if (style_ == ViewStyle::Json)
        Json(port, "\"event\":\"stage\",\"letter\":\"" + JsonEscape(std::string(1, letter)) +
                       "\",\"text\":\"" + JsonEscape(text) + "\"");
    else if (style_ == ViewStyle::Lines && !IsFinalStage(letter))
        Say(port, text);
    Redraw(false);
}

void LineScreen::MainPercent(size_t port, unsigned percent) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    if (line.main == percent) return;
    line.main = percent;
    if (style_ == ViewStyle::Lines && int(percent / 10) != line.lastMainDecile) {
        line.lastMainDecile = int(percent / 10);
        Say(port, std::to_string(percent) + "% overall");
    } else if (style_ == ViewStyle::Json) {
        Json(port, "\"event\":\"progress\",\"overall\":" + std::to_string(percent));
    }
    Redraw(false);
}

void LineScreen::Step(size_t port, const StepProgress& step) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.step = step;
    if (!step.active || step.total == 0) return;
    line.main = std::max(line.main, step.overallPercent);
    const unsigned percent = unsigned(step.done * 100 / step.total);
    if (style_ == ViewStyle::Lines && int(percent / 10) != line.lastStepDecile) {
        line.lastStepDecile = int(percent / 10);
        Say(port, std::string(step.dump ? "received " : "sent ") + std::to_string(percent) + "%  " +
                      ByteText(double(step.done)) + " / " + ByteText(double(step.total)));
    } else if (style_ == ViewStyle::Json) {
        Json(port, "\"event\":\"progress\",\"overall\":" + std::to_string(line.main) +
                       ",\"bytes\":" + std::to_string(step.done) +
                       ",\"total\":" + std::to_string(step.total) + ",\"bytesPerSecond\":" +
                       std::to_string(static_cast<long long>(step.bytesPerSecond)));
    }
    Redraw(false);
}

void LineScreen::Info(size_t port, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        Json(port, "\"event\":\"info\",\"text\":\"" + JsonEscape(text) + "\"");
    } else if (style_ == ViewStyle::Bars) {
        lines_[port].state = text;
        Redraw(true);
    } else if (style_ == ViewStyle::Lines) {
        Say(port, text);
    }
}

void LineScreen::Message(size_t port, const std::string& caption, const std::string& text) {
    std::lock_guard lock(mutex_);
    const std::string body = Trimmed(text);
    if (style_ == ViewStyle::Json)
        Json(port, "\"event\":\"message\",\"caption\":\"" + JsonEscape(caption) + "\",\"text\":\"" +
                       JsonEscape(body) + "\"");
    ClearLines();
    std::fflush(out_);
    std::fprintf(err_, "%s: %s: %s\n", lines_[port].label.c_str(), caption.c_str(), body.c_str());
    std::fflush(err_);
    Redraw(true);
}

void LineScreen::BoardEnded(size_t port, const BoardEnd& end) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.passed = end.passed;
    line.failed = end.failed;
    line.cancelled = end.cancelled;
    line.step = {};
    line.main = 0;
    line.lastMainDecile = 0;
    const std::string text = Trimmed(end.text);
    line.state = (end.exitCode == kExitOk ? "passed: " : "failed: ") + text;
    if (style_ == ViewStyle::Json) {
        Json(port, "\"event\":\"result\",\"exit\":" + std::to_string(end.exitCode) +
                       ",\"outcome\":\"" + OutcomeName(end.exitCode) + "\",\"text\":\"" +
                       JsonEscape(text) + "\",\"verify\":\"" + JsonEscape(end.verify) +
                       "\",\"passed\":" + std::to_string(end.passed) +
                       ",\"failed\":" + std::to_string(end.failed));
    } else if (style_ != ViewStyle::Bars) {
        // A text the operator saw as a message is not said twice: the outcome names it.
        std::string said = end.shown ? std::string(OutcomeName(end.exitCode)) : text;
        if (!end.verify.empty()) said += " (verify: " + end.verify + ")";
        if (counts_)
            said += " [passed " + std::to_string(end.passed) + ", failed " +
                    std::to_string(end.failed) + "]";
        if (end.exitCode == kExitOk) {
            if (style_ == ViewStyle::Lines) Say(port, said);
        } else {
            std::fflush(out_);
            std::fprintf(err_, "%s: %s\n", line.label.c_str(), said.c_str());
            std::fflush(err_);
        }
    }
    Redraw(true);
}

void LineScreen::Summary(int exitCode, const LineTotals& totals) {
    std::lock_guard lock(mutex_);
    const unsigned boards = totals.passed + totals.failed;
    const double perHour = totals.seconds > 0 ? boards * 3600.0 / totals.seconds : 0.0;
    char figures[96];
    if (style_ == ViewStyle::Json) {
        std::string ports;
        for (const PortLine& line : lines_)
            ports += std::string(ports.empty() ? "" : ",") + "{\"port\":\"" +
                     JsonEscape(line.label) + "\",\"passed\":" + std::to_string(line.passed) +
                     ",\"failed\":" + std::to_string(line.failed) +
                     ",\"cancelled\":" + std::to_string(line.cancelled) + "}";
        std::snprintf(figures, sizeof figures, "\"seconds\":%.1f,\"boardsPerHour\":%.1f",
                      totals.seconds, perHour);
        std::fprintf(out_,
                     "{\"event\":\"summary\",\"exit\":%d,\"outcome\":\"%s\",\"ports\":[%s],"
                     "\"passed\":%u,\"failed\":%u,\"cancelled\":%u,%s}\n",
                     exitCode, OutcomeName(exitCode), ports.c_str(), totals.passed, totals.failed,
                     totals.cancelled, figures);
        std::fflush(out_);
        return;
    }
    if (style_ == ViewStyle::Bars) {
        Redraw(true);
        shown_ = false;  // the last picture stays
    }
    for (const PortLine& line : lines_)
        std::fprintf(
            out_, "%s: passed %u, failed %u%s\n", line.label.c_str(), line.passed, line.failed,
            line.cancelled ? (", cancelled " + std::to_string(line.cancelled)).c_str() : "");
    const long long whole = static_cast<long long>(totals.seconds + 0.5);
    std::snprintf(figures, sizeof figures, "%lld:%02lld:%02lld, %.1f boards per hour", whole / 3600,
                  whole / 60 % 60, whole % 60, perHour);
    std::fprintf(out_, "Boards: %u passed, %u failed, %u cancelled in %s\n", totals.passed,
                 totals.failed, totals.cancelled, figures);
    std::fprintf(out_, "%s\n",
                 exitCode == kExitOk ? "Every board completed"
                                     : (std::string("Exit ") + std::to_string(exitCode) + " (" +
                                        OutcomeName(exitCode) + ")")
                                           .c_str());
    if (style_ == ViewStyle::Bars) std::fputc('\a', out_);
    std::fflush(out_);
}

void LineScreen::EarlyFailure(int exitCode, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        std::fprintf(out_,
                     "{\"event\":\"result\",\"exit\":%d,\"outcome\":\"%s\",\"text\":\"%s\"}\n",
                     exitCode, OutcomeName(exitCode), JsonEscape(Trimmed(text)).c_str());
        std::fflush(out_);
        return;
    }
    std::fprintf(err_, "pelorin-cli: %s\n", Trimmed(text).c_str());
    std::fflush(err_);
}

void LineScreen::Say(size_t port, const std::string& text) {
    std::fprintf(out_, "%s: %s\n", lines_[port].label.c_str(), Trimmed(text).c_str());
    std::fflush(out_);
}

void LineScreen::Json(size_t port, const std::string& fields) {
    std::fprintf(out_, "{\"port\":\"%s\",%s}\n", JsonEscape(lines_[port].label).c_str(),
                 fields.c_str());
    std::fflush(out_);
}

void LineScreen::Redraw(bool force) {
    if (style_ != ViewStyle::Bars) return;
    const auto now = Clock::now();
    if (!force && shown_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    ClearLines();
    for (const PortLine& line : lines_) std::fprintf(out_, "%s\n", DrawnLine(line).c_str());
    shown_ = true;
    std::fflush(out_);
}

void LineScreen::ClearLines() {
    if (!shown_) return;
    std::fprintf(out_, "\x1b[%zuF\x1b[J", lines_.size());  // up to the first port, clear below
    shown_ = false;
}

std::string LineScreen::DrawnLine(const PortLine& line) const {
    size_t width = 0;
    for (const PortLine& l : lines_) width = std::max(width, l.label.size());
    std::string text = Fitted(line.label, width) + "  " + Fitted(line.state, kStateWidth) + " " +
                       BarText(line.main, kBarWidth) + " " +
                       (line.main < 100 ? line.main < 10 ? "  " : " " : "") +
                       std::to_string(line.main) + "%";
    const StepProgress& s = line.step;
    if (s.active && s.total > 0) {
        text += "  " + ByteText(double(s.done)) + " / " + ByteText(double(s.total));
        if (s.bytesPerSecond > 0) {
            const auto left = static_cast<long long>(s.secondsLeft + 0.5);
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "  %s/s  %lld:%02lld left",
                          ByteText(s.bytesPerSecond).c_str(), left / 60, left % 60);
            text += buffer;
        }
    }
    if (counts_)
        text +=
            "  passed " + std::to_string(line.passed) + " failed " + std::to_string(line.failed);
    return text;
}

void PortView::OnTimeout(char stage, const std::string& text) {
    std::string body = Trimmed(text);
    if (stage != 0) {
        const std::string_view name = StageTextFor(stage);
        body += "\nThe target fell silent at stage '" + std::string(1, stage) + "'" +
                (name.empty() ? std::string() : " (" + std::string(name) + ")") + ".";
    }
    screen_.Message(port_, kTimeoutCaption, body);
}

void PortView::OnEnded(Outcome, const std::string& text, bool shownAsMessage) {
    endText_ = text;
    endShown_ = shownAsMessage;
}

}  // namespace pelorin::cli
