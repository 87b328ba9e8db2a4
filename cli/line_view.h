// What the command line shows of one board or of several at once. On a terminal each port has
// one status line (see status_line.h) redrawn in place, fitted to the terminal's width; a single
// board's stages and messages print above it. Otherwise one line per event (prefixed with the
// port when there are several), or one JSON object per event (carrying "port" when there are
// several). Each port's overall figure only grows within a board, and no JSON progress event
// repeats the one before it.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/progress_view.h"
#include "session/operation_view.h"

namespace pelorin::cli {

// How one board ended, for the screen.
struct BoardEnd {
    int exitCode = 0;
    std::string text;
    bool shown = false;  // the text was shown already as a message
    std::string verify;  // empty when not verified
    // What a line adds of the verify in brackets; empty when `text` says it already.
    std::string verifyNote;
    unsigned passed = 0;
    unsigned failed = 0;
    unsigned cancelled = 0;
};

// The whole run, for its summary.
struct LineTotals {
    unsigned passed = 0;
    unsigned failed = 0;
    unsigned cancelled = 0;
    double seconds = 0;
};

class LineScreen {
  public:
    using Clock = std::chrono::steady_clock;
    // Terminal redraws at most this often: a long dump must not write megabytes of escapes.
    static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

    // `single`: one plain operation, whose lines and events carry no port. `counts`: the
    // status lines show the boards passed and failed (--repeat).
    LineScreen(ViewStyle style, std::FILE* out, std::FILE* err, std::vector<std::string> ports,
               bool counts, bool single = false);

    // A new board on the port; with a verify to follow, its download fills the first half of
    // the board's overall figure.
    void NewBoard(size_t port, bool verifyFollows);
    // The read-back of a verify begins: the second half of the overall figure.
    void Verifying(size_t port);
    void Stage(size_t port, char letter, const std::string& text);
    void MainPercent(size_t port, unsigned percent);
    void SubPercent(size_t port, unsigned percent);
    void Step(size_t port, const StepProgress& step);
    void Info(size_t port, const std::string& text);
    // A message box text on standard error. Thread-safe: workers show their own.
    void Message(size_t port, const std::string& caption, const std::string& text);
    // The terminal changed its size: draw again at the new width.
    void Resized();
    // A board of the production line ended.
    void BoardEnded(size_t port, const BoardEnd& end);
    // The last lines of a production line: each port's counts, the run's totals and status.
    void Summary(int exitCode, const LineTotals& totals);
    // The last line of a single operation: the text it ended with, unless a failure's text was
    // shown as a message already.
    void Result(int exitCode, const std::string& text, bool shown);
    // A failure before any board could start.
    void EarlyFailure(int exitCode, const std::string& text);

  private:
    struct PortLine {
        std::string label;
        std::string state;   // the stage text, or what the port waits for
        std::string prefix;  // before stage texts ("Verify: ")
        unsigned base = 0;   // the operation's 0..100 % maps into base..base + span
        unsigned span = 100;
        unsigned main = 0;  // the board's overall figure
        unsigned sub = 0;
        StepProgress step;
        int lastMainDecile = 0;
        int lastStepDecile = -1;
        std::string lastProgress;  // the last JSON progress event
        unsigned passed = 0;
        unsigned failed = 0;
        unsigned cancelled = 0;
    };

    void Overall(PortLine& line, unsigned operationPercent);
    void Say(size_t port, const std::string& text);
    void SayProgress(size_t port, const std::string& text);
    void Json(size_t port, const std::string& fields);
    void ProgressEvent(size_t port);
    void Redraw(bool force);
    void ClearLines();
    void Above(std::FILE* stream, const std::string& text);

    ViewStyle style_;
    std::FILE* out_;
    std::FILE* err_;
    bool counts_;
    bool single_;
    std::mutex mutex_;
    std::vector<PortLine> lines_;
    std::vector<size_t> drawn_;  // lengths of the lines on screen; empty when none
    Clock::time_point lastDraw_{};
};

// One port's operation view, forwarding to the shared screen.
class PortView final : public IOperationView {
  public:
    PortView(LineScreen& screen, size_t port) : screen_(screen), port_(port) {}

    void OnStarted(const std::string& statusText) override;
    void OnStage(char letter, const std::string& text) override {
        screen_.Stage(port_, letter, text);
    }
    void OnMainPercent(unsigned percent) override { screen_.MainPercent(port_, percent); }
    void OnSubPercent(unsigned percent) override { screen_.SubPercent(port_, percent); }
    void OnSendBegin(uint64_t) override {}
    void OnSendEnd() override {}
    void OnTimeout(char stage, const std::string& text) override;
    void OnInfo(const std::string& text) override;
    void OnStep(const StepProgress& step) override { screen_.Step(port_, step); }
    void OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) override;

    // How the last operation ended.
    const std::string& EndText() const { return endText_; }
    bool EndShown() const { return endShown_; }
    // The operator cancels the operation: what it says from here (of a kept dump) is held for
    // the text the cancel ends with, until the next operation starts.
    void Cancelling() { holding_ = true; }
    const std::string& HeldInfo() const { return held_; }

  private:
    LineScreen& screen_;
    size_t port_;
    bool holding_ = false;
    std::string held_;
    std::string endText_;
    bool endShown_ = false;
};

}  // namespace pelorin::cli
