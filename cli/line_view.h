// What the command line shows of several boards at once: on a terminal one line per port
// (stage, bar, bytes, speed, time left, boards passed and failed) redrawn in place; otherwise
// one line per event prefixed with the port, or one JSON object per event carrying "port".
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
    static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

    LineScreen(ViewStyle style, std::FILE* out, std::FILE* err, std::vector<std::string> ports,
               bool counts);

    void Stage(size_t port, char letter, const std::string& text);
    void MainPercent(size_t port, unsigned percent);
    void Step(size_t port, const StepProgress& step);
    void Info(size_t port, const std::string& text);
    // A message box text on standard error. Thread-safe: workers show their own.
    void Message(size_t port, const std::string& caption, const std::string& text);
    void BoardEnded(size_t port, const BoardEnd& end);
    // The last lines: each port's counts, the run's totals, and its exit status.
    void Summary(int exitCode, const LineTotals& totals);
    // A failure before any board could start.
    void EarlyFailure(int exitCode, const std::string& text);

  private:
    struct PortLine {
        std::string label;
        std::string state;  // the stage text, or what the port waits for
        unsigned main = 0;
        StepProgress step;
        int lastMainDecile = 0;
        int lastStepDecile = -1;
        unsigned passed = 0;
        unsigned failed = 0;
        unsigned cancelled = 0;
    };

    void Say(size_t port, const std::string& text);
    void Json(size_t port, const std::string& fields);
    void Redraw(bool force);
    void ClearLines();
    std::string DrawnLine(const PortLine& line) const;

    ViewStyle style_;
    std::FILE* out_;
    std::FILE* err_;
    bool counts_;
    std::mutex mutex_;
    std::vector<PortLine> lines_;
    bool shown_ = false;
    Clock::time_point lastDraw_{};
};

// One port's operation view, forwarding to the shared screen.
class PortView final : public IOperationView {
  public:
    PortView(LineScreen& screen, size_t port) : screen_(screen), port_(port) {}

    void OnStarted(const std::string& statusText) override { screen_.Info(port_, statusText); }
    void OnStage(char letter, const std::string& text) override {
        screen_.Stage(port_, letter, text);
    }
    void OnMainPercent(unsigned percent) override { screen_.MainPercent(port_, percent); }
    void OnSubPercent(unsigned) override {}
    void OnSendBegin(uint64_t) override {}
    void OnSendEnd() override {}
    void OnTimeout(char stage, const std::string& text) override;
    void OnInfo(const std::string& text) override { screen_.Info(port_, text); }
    void OnStep(const StepProgress& step) override { screen_.Step(port_, step); }
    void OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) override;

    // How the last operation ended.
    const std::string& EndText() const { return endText_; }
    bool EndShown() const { return endShown_; }

  private:
    LineScreen& screen_;
    size_t port_;
    std::string endText_;
    bool endShown_ = false;
};

}  // namespace pelorin::cli
