// One board or several on one screen.
#include "cli/line_view.h"

#include <algorithm>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/status_line.h"
#include "session/stage_texts.h"
#include "session/watchdog.h"

namespace pelorin::cli {
namespace {

// Width assumed when the terminal does not say.
constexpr size_t kDefaultColumns = 80;

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string Decimal(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

}  // namespace

LineScreen::LineScreen(ViewStyle style, std::FILE* out, std::FILE* err,
                       std::vector<std::string> ports, bool counts, bool single)
    : style_(style), out_(out), err_(err), counts_(counts), single_(single) {
    for (std::string& label : ports) {
        PortLine line;
        line.label = std::move(label);
        line.state = "waiting";
        lines_.push_back(std::move(line));
    }
}

void LineScreen::NewBoard(size_t port, bool verifyFollows) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.base = 0;
    line.span = verifyFollows ? 50 : 100;
    line.main = 0;
    line.sub = 0;
    line.prefix.clear();
    line.step = {};
    line.lastMainDecile = 0;
    line.lastStepDecile = -1;
    line.lastProgress.clear();
}

void LineScreen::Verifying(size_t port) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.base = 50;
    line.span = 50;
    line.main = std::max(line.main, 50u);
    line.prefix = "Verify: ";
    line.state = "Verifying...";
    line.step = {};
    if (style_ == ViewStyle::Json)
        Json(port, "\"event\":\"stage\",\"letter\":\"\",\"text\":\"Verifying...\"");
    else if (style_ == ViewStyle::Lines || (style_ == ViewStyle::Bars && single_))
        Say(port, line.state);
    Redraw(true);
}

void LineScreen::Overall(PortLine& line, unsigned operationPercent) {
    const unsigned mapped = line.base + std::min(operationPercent, 100u) * line.span / 100;
    line.main = std::max(line.main, mapped);
}

void LineScreen::Stage(size_t port, char letter, const std::string& text) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.state = line.prefix + text;
    line.step = {};
    line.lastStepDecile = -1;
    if (style_ == ViewStyle::Json)
        Json(port, "\"event\":\"stage\",\"letter\":\"" + JsonEscape(std::string(1, letter)) +
                       "\",\"text\":\"" + JsonEscape(line.state) + "\"");
    // The final stages are said once, as the result.
    else if (!IsFinalStage(letter) &&
             (style_ == ViewStyle::Lines || (style_ == ViewStyle::Bars && single_)))
        Say(port, line.state);
    Redraw(false);
}

void LineScreen::MainPercent(size_t port, unsigned percent) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    const unsigned before = line.main;
    Overall(line, percent);
    if (line.main == before) return;
    if (style_ == ViewStyle::Lines && int(line.main / 10) != line.lastMainDecile) {
        line.lastMainDecile = int(line.main / 10);
        SayProgress(port, std::to_string(line.main) + "% overall");
    }
    ProgressEvent(port);
    Redraw(false);
}

void LineScreen::SubPercent(size_t port, unsigned percent) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    if (line.step.active || line.sub == percent) return;  // a measured step shows its own bytes
    line.sub = percent;
    ProgressEvent(port);
}

void LineScreen::Step(size_t port, const StepProgress& step) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.step = step;
    if (!step.active || step.total == 0) return;
    line.sub = unsigned(step.done * 100 / step.total);
    Overall(line, step.overallPercent);
    if (style_ == ViewStyle::Lines && int(line.sub / 10) != line.lastStepDecile) {
        line.lastStepDecile = int(line.sub / 10);
        char text[32];
        std::snprintf(text, sizeof text, "%s %3u%%  ", step.dump ? "received" : "sent    ",
                      line.sub);
        std::string said =
            text + ByteText(double(step.done)) + " / " + ByteText(double(step.total));
        if (step.bytesPerSecond > 0) {
            const auto left = static_cast<long long>(step.secondsLeft + 0.5);
            char rate[64];
            std::snprintf(rate, sizeof rate, "  %s/s  %lld:%02lld left",
                          ByteText(step.bytesPerSecond).c_str(), left / 60, left % 60);
            said += rate;
        }
        SayProgress(port, said);
    }
    ProgressEvent(port);
    Redraw(false);
}

void LineScreen::ProgressEvent(size_t port) {
    if (style_ != ViewStyle::Json) return;
    PortLine& line = lines_[port];
    const StepProgress& s = line.step;
    std::string fields = "\"event\":\"progress\",\"overall\":" + std::to_string(line.main) +
                         ",\"step\":" + std::to_string(line.sub);
    if (s.active)
        fields +=
            ",\"bytes\":" + std::to_string(s.done) + ",\"total\":" + std::to_string(s.total) +
            ",\"bytesPerSecond\":" + std::to_string(static_cast<long long>(s.bytesPerSecond)) +
            ",\"secondsLeft\":" + Decimal(s.secondsLeft);
    if (fields == line.lastProgress) return;
    line.lastProgress = fields;
    Json(port, fields);
}

void LineScreen::Info(size_t port, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (style_ == ViewStyle::Json) {
        Json(port, "\"event\":\"info\",\"text\":\"" + JsonEscape(text) + "\"");
    } else if (style_ == ViewStyle::Bars && !single_) {
        lines_[port].state = text;
        Redraw(true);
    } else if (style_ != ViewStyle::Quiet) {
        Say(port, text);
    }
}

void LineScreen::Message(size_t port, const std::string& caption, const std::string& text) {
    std::lock_guard lock(mutex_);
    const std::string body = Trimmed(text);
    if (style_ == ViewStyle::Json)
        Json(port, "\"event\":\"message\",\"caption\":\"" + JsonEscape(caption) + "\",\"text\":\"" +
                       JsonEscape(body) + "\"");
    Above(err_, (single_ ? "" : lines_[port].label + ": ") + caption + ": " + body);
}

void LineScreen::Resized() {
    std::lock_guard lock(mutex_);
    Redraw(true);
}

void LineScreen::BoardEnded(size_t port, const BoardEnd& end) {
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    line.passed = end.passed;
    line.failed = end.failed;
    line.cancelled = end.cancelled;
    line.step = {};
    if (end.exitCode == kExitOk) line.main = 100;
    const std::string text = Trimmed(end.text);
    // A cancel's text begins with "Cancelled".
    line.state = (end.exitCode == kExitOk          ? "passed: "
                  : end.exitCode == kExitCancelled ? ""
                                                   : "failed: ") +
                 text;
    if (style_ == ViewStyle::Json) {
        Json(port, "\"event\":\"result\",\"exit\":" + std::to_string(end.exitCode) +
                       ",\"outcome\":\"" + OutcomeName(end.exitCode) + "\",\"text\":\"" +
                       JsonEscape(text) + "\",\"verify\":\"" + JsonEscape(end.verify) +
                       "\",\"passed\":" + std::to_string(end.passed) +
                       ",\"failed\":" + std::to_string(end.failed) +
                       ",\"cancelled\":" + std::to_string(end.cancelled));
    } else if (style_ != ViewStyle::Bars) {
        // A text the operator saw as a message is not said twice: the outcome names it.
        std::string said = end.shown ? std::string(OutcomeName(end.exitCode)) : text;
        if (!end.verifyNote.empty()) said += " (verify: " + end.verifyNote + ")";
        if (counts_)
            said += " [passed " + std::to_string(end.passed) + ", failed " +
                    std::to_string(end.failed) + "]";
        if (end.exitCode == kExitOk) {
            if (style_ == ViewStyle::Lines) Say(port, said);
        } else {
            Above(err_, line.label + ": " + said);
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
    Redraw(true);
    drawn_.clear();  // the last picture stays
    // Quiet: the run's figures and status only; each port's failures were said as they came.
    for (const PortLine& line : lines_)
        if (style_ != ViewStyle::Quiet)
            std::fprintf(
                out_, "%s: passed %u, failed %u%s\n", line.label.c_str(), line.passed, line.failed,
                line.cancelled ? (", cancelled " + std::to_string(line.cancelled)).c_str() : "");
    const long long whole = static_cast<long long>(totals.seconds + 0.5);
    std::snprintf(figures, sizeof figures, "%lld:%02lld:%02lld, %.1f boards per hour", whole / 3600,
                  whole / 60 % 60, whole % 60, perHour);
    std::fprintf(out_, "Boards: %u passed, %u failed, %u cancelled in %s\n", totals.passed,
                 totals.failed, totals.cancelled, figures);
    const std::string status = exitCode != kExitOk ? "Exit " + std::to_string(exitCode) + " (" +
                                                         OutcomeName(exitCode) + ")"
                               : totals.cancelled ? "Every board that finished passed"
                                                  : "Every board completed";
    std::fprintf(out_, "%s\n", status.c_str());
    if (style_ == ViewStyle::Bars) std::fputc('\a', out_);
    std::fflush(out_);
}

void LineScreen::Result(int exitCode, const std::string& text, bool shown) {
    std::lock_guard lock(mutex_);
    const std::string body = Trimmed(text);
    if (style_ == ViewStyle::Json) {
        std::fprintf(out_,
                     "{\"event\":\"result\",\"exit\":%d,\"outcome\":\"%s\",\"text\":\"%s\"}\n",
                     exitCode, OutcomeName(exitCode), JsonEscape(body).c_str());
        std::fflush(out_);
        return;
    }
    if (exitCode == kExitOk) lines_[0].main = 100;
    Redraw(true);
    drawn_.clear();  // the last picture stays
    if (exitCode == kExitOk)
        std::fprintf(out_, "%s\n", body.c_str());
    else if (!shown) {
        std::fflush(out_);
        std::fprintf(err_, "%s\n", body.c_str());
    }
    // The window beeps at the end; a terminal rings.
    if (style_ == ViewStyle::Bars) std::fputc('\a', out_);
    std::fflush(out_);
    std::fflush(err_);
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
    Above(out_, (single_ ? "" : lines_[port].label + ": ") + Trimmed(text));
}

void LineScreen::SayProgress(size_t port, const std::string& text) {
    Above(out_, (single_ ? "  " : lines_[port].label + ": ") + text);
}

void LineScreen::Above(std::FILE* stream, const std::string& text) {
    ClearLines();
    std::fflush(out_);
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
    Redraw(true);
}

void LineScreen::Json(size_t port, const std::string& fields) {
    if (single_)
        std::fprintf(out_, "{%s}\n", fields.c_str());
    else
        std::fprintf(out_, "{\"port\":\"%s\",%s}\n", JsonEscape(lines_[port].label).c_str(),
                     fields.c_str());
    std::fflush(out_);
}

void LineScreen::Redraw(bool force) {
    if (style_ != ViewStyle::Bars) return;
    const auto now = Clock::now();
    if (!force && !drawn_.empty() && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    ClearLines();
    size_t columns = TerminalColumns(out_);
    if (columns == 0) columns = kDefaultColumns;
    size_t labelWidth = 0;
    for (const PortLine& l : lines_) labelWidth = std::max(labelWidth, l.label.size());
    std::vector<StatusParts> all;
    for (const PortLine& line : lines_) {
        StatusParts parts;
        parts.label = line.label;
        parts.labelWidth = labelWidth;
        parts.state = line.state;
        parts.percent = line.main;
        parts.hasBytes = line.step.active;
        parts.done = line.step.done;
        parts.total = line.step.total;
        parts.bytesPerSecond = line.step.bytesPerSecond;
        parts.secondsLeft = line.step.secondsLeft;
        if (counts_)
            parts.passed = line.passed, parts.failed = line.failed,
            parts.cancelled = line.cancelled;
        all.push_back(std::move(parts));
    }
    for (const std::string& text : StatusLines(all, columns)) {
        std::fprintf(out_, "%s\n", text.c_str());
        drawn_.push_back(std::max<size_t>(text.size(), 1));
    }
    std::fflush(out_);
}

void LineScreen::ClearLines() {
    if (drawn_.empty()) return;
    // The lines were drawn for the width then; a narrower terminal may have wrapped them.
    size_t columns = TerminalColumns(out_);
    if (columns == 0) columns = kDefaultColumns;
    size_t rows = 0;
    for (size_t length : drawn_) rows += (length + columns - 1) / columns;
    std::fprintf(out_, "\x1b[%zuF\x1b[J", rows);  // up to the first line, clear below
    drawn_.clear();
}

void PortView::OnStarted(const std::string& statusText) {
    holding_ = false;
    held_.clear();
    // The window's text carries its button's keyboard mark; a terminal shows none.
    std::string text = statusText;
    std::erase(text, '&');
    screen_.Info(port_, text);
}

void PortView::OnInfo(const std::string& text) {
    if (holding_)
        held_ += (held_.empty() ? "" : " ") + text;
    else
        screen_.Info(port_, text);
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
