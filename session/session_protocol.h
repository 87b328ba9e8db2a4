// The host side of the serial protocol: answers the boot ROM, uploads the loaders, streams
// the data file, receives a dump, and tells the owner every stage and progress step. Runs in
// the worker thread, one call per receive notification; the target leads every step.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "serial/serial_port.h"
#include "session/boot_block.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"
#include "session/shared_state.h"
#include "session/sleeper.h"
#include "session/target_images.h"

namespace pelorin {

inline constexpr unsigned kChunkBytes = 10240;     // one read, one data chunk
inline constexpr unsigned kPendingBytes = 102400;  // frame scanner's area
inline constexpr unsigned kShortPauseMs = 10;      // before most answers
inline constexpr unsigned kPromptAnswerDelayMs =
    50;  // after the prompt's answer, before the DRAM image
inline constexpr unsigned kBootRomPromptMaxRead =
    8;  // a prompt only counts in a read shorter than this
inline constexpr uint8_t kFrameStart = 0xFE;
inline constexpr uint8_t kFrameEnd = 0xFF;
inline constexpr uint8_t kBootRomPrompt = 'X';
inline constexpr uint8_t kBigEndianAnswer = 0x18;
inline constexpr uint8_t kLittleEndianAnswer = 0x59;
inline constexpr const char* kLoaderLineSettings = "115200,n,8,1";
inline constexpr unsigned kProgressFull = 128;  // progress frames count 0..128

// Texts of the messages the session shows.
// The one chip and section whose 'V' stage is answered with the file's first bytes; every
// other board gets zeros.
inline constexpr uint32_t kHardwareCheckChip = 8;
inline constexpr uint32_t kHardwareCheckStart = 0x30000;

inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kSendDataErrorText = "Send data error!";
inline constexpr const char* kDecompressErrorText = "Decompress file error";
inline constexpr const char* kNoBootImageText = "This chip type has no boot loader image.";
inline constexpr const char* kDataFileErrorText = "Can't read the data file!";
inline constexpr const char* kDataTooLargeText =
    "The data file is too large: it must be smaller than 16 MiB (16777216 bytes).";
inline constexpr const char* kDumpWriteErrorText = "Can't write the dump file!";

class SessionProtocol {
  public:
    SessionProtocol(ISerialPort& port, ISessionSink& sink, IOperatorPrompt& prompt,
                    ISleeper& sleeper, SharedState& shared, const TargetImages& images);

    // One receive notification for `notifiedPort`.
    void OnReceive(uint64_t notifiedPort);

    unsigned ActivePort() const { return activePort_; }
    void SetActivePort(unsigned port) { activePort_ = port; }
    int MainBase() const { return mainBase_; }
    void SetMainBase(int base) { mainBase_ = base; }
    bool Dumping() const { return dumping_; }
    // Ends dump reception (a cancelled dump); the dump file is closed by the caller.
    void EndDump() { dumping_ = false; }

  private:
    void HandleBootRomPrompt();
    void ScanFrames();
    void HandleFrame(uint8_t cls, uint8_t value);
    void HandleStageFrame(uint8_t letter);
    void HandleProgress(uint8_t count);
    void HandleLengthCheck(uint8_t check, bool dataFile);
    void SendDataFile();
    void ReceiveDump(const uint8_t* data, unsigned length);

    void Announce(char letter);
    void PostProgress(uint64_t kind, unsigned value);
    void PostMain() { PostProgress(1, static_cast<unsigned>(mainBase_)); }
    void Finish(char letter);
    void Fail(const std::string& text);
    void FailDumpWrite();
    void AnnounceLength(uint32_t length);
    void AppendPending(const uint8_t* data, unsigned length);

    ISerialPort& port_;
    ISessionSink& sink_;
    IOperatorPrompt& prompt_;
    ISleeper& sleeper_;
    SharedState& shared_;
    const TargetImages& images_;
    ChipImageTable chipTable_;

    unsigned activePort_ = 1;
    std::array<uint8_t, kChunkBytes> rxBuffer_{};
    std::array<uint8_t, kPendingBytes> pending_{};
    unsigned scanPos_ = 0;
    unsigned writePos_ = 0;
    bool dumping_ = false;
    uint32_t dumpReceived_ = 0;
    bool dumpComplete_ = false;
    int mainBase_ = 0;
    std::array<uint8_t, 3> announced_{};
};

}  // namespace pelorin
