// What the command line shows of an operation: two progress bars redrawn in place on a
// terminal, one line per stage and per 10 % otherwise, or one JSON object per event.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "session/operation_view.h"

namespace pelorin::cli {

enum class ViewStyle { Bars, Lines, Json, Quiet };

class ProgressView final : public IOperationView {
  public:
    using Clock = std::chrono::steady_clock;
    // Terminal redraws at most this often: a long dump must not write megabytes of escapes.
    static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

    ProgressView(ViewStyle style, std::FILE* out, std::FILE* err);

    void OnStarted(const std::string& statusText) override;
    void OnStage(char letter, const std::string& text) override;
    void OnMainPercent(unsigned percent) override;
    void OnSubPercent(unsigned percent) override;
    void OnSendBegin(uint64_t bytes) override;
    void OnSendEnd() override;
    void OnTimeout(char stage, const std::string& text) override;
    void OnInfo(const std::string& text) override;
    void OnStep(const StepProgress& step) override;
    void OnEnded(Outcome outcome, const std::string& text, bool shownAsMessage) override;

    // A message box text (caption "Error", "Time Out", ...), on standard error. Thread-safe:
    // the worker shows its messages from its own thread.
    void Message(const std::string& caption, const std::string& text);
    // The last line: the result the operation ended with (kept from OnEnded), once the worker
    // has said all it had to say. `exitCode` is the program's exit status.
    void PrintResult(int exitCode);
    // The text the operation ended with.
    std::string ResultText();
    // A failure before any operation could start (arguments, port names).
    void EarlyFailure(int exitCode, const std::string& text);

  private:
    void Redraw(bool force);
    void ClearBars();
    void DrawBars();
    void ProgressLines();
    std::string StepDetail() const;
    void Json(const std::string& object);
    void Flush();

    ViewStyle style_;
    std::FILE* out_;
    std::FILE* err_;
    std::mutex mutex_;
    bool barsShown_ = false;
    Clock::time_point lastDraw_{};
    unsigned main_ = 0;
    unsigned sub_ = 0;
    int lastMainDecile_ = 0;
    int lastStepDecile_ = -1;
    char stage_ = 0;
    std::string stageText_;
    StepProgress step_;
    // The ending, printed last.
    Outcome outcome_ = Outcome::NotStarted;
    std::string resultText_;
    bool resultShown_ = false;
};

// The program's exit status for an outcome.
int ExitCodeFor(Outcome outcome);
// The JSON name of an exit status ("completed", "timed-out", ...).
const char* OutcomeName(int exitCode);
std::string JsonEscape(const std::string& text);
// "1.25 MiB", "12.0 KiB".
std::string ByteText(double bytes);
// "[####------]" with `width` cells.
std::string BarText(unsigned percent, int width);

}  // namespace pelorin::cli
