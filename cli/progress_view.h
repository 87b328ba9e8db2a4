// What the command line shows of an operation: two progress bars redrawn in place on a
// terminal, one line per stage and per 10 % otherwise, or one JSON object per event.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace pelorin::cli {

enum class ViewStyle { Bars, Lines, Json, Quiet };

class ProgressView {
public:
    ProgressView(ViewStyle style, std::FILE* out, std::FILE* err);

    void Stage(char letter, const std::string& text);
    void Main(unsigned percent);
    void Sub(unsigned percent);
    // A long transfer of `bytes` at about `bytesPerSecond` began; the step bar estimates it.
    void TransferBegin(uint64_t bytes, double bytesPerSecond);
    void TransferEnd();
    // The step bar follows received bytes of a dump of `total` bytes.
    void DumpBegin(uint64_t total);
    // Called a few times a second: advances the send estimate and redraws.
    void Tick();
    // A message box text (caption "Error", "Time Out", ...), on standard error. Thread-safe.
    void Message(const std::string& caption, const std::string& text);
    void Info(const std::string& text);
    void Result(int exitCode, const std::string& text);

private:
    using Clock = std::chrono::steady_clock;
    void ClearBars();
    void DrawBars();
    void ProgressLine();
    std::string StepDetail() const;
    void Json(const std::string& object);

    ViewStyle style_;
    std::FILE* out_;
    std::FILE* err_;
    std::mutex mutex_;
    bool barsShown_ = false;
    unsigned main_ = 0;
    unsigned sub_ = 0;
    unsigned lastLineDecile_ = 0;
    std::string stageText_;
    // Step detail: a transfer or a dump in progress.
    uint64_t stepTotal_ = 0;
    double sendRate_ = 0;
    bool sending_ = false;
    bool dumping_ = false;
    Clock::time_point stepStart_;
};

}  // namespace pelorin::cli
