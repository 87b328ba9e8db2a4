// Host side of the serial protocol with the target.
#include "session/session_protocol.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "session/messages.h"
#include "session/stage_texts.h"

namespace pelorin {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Length of an open file, or -1.
long long FileLength(std::FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long long length = std::ftell(f);
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return length;
}

}  // namespace

SessionProtocol::SessionProtocol(ISerialPort& port, ISessionSink& sink, IOperatorPrompt& prompt,
                                 ISleeper& sleeper, SharedState& shared, const TargetImages& images)
    : port_(port),
      sink_(sink),
      prompt_(prompt),
      sleeper_(sleeper),
      shared_(shared),
      images_(images) {
    chipTable_.Fill(images_);
}

void SessionProtocol::OnReceive(uint64_t notifiedPort) {
    if (notifiedPort != activePort_) return;
    unsigned count = port_.Read(rxBuffer_.data(), kChunkBytes, kShortPauseMs);
    if (count == 0) return;
    if (dumping_) {
        ReceiveDump(rxBuffer_.data(), count);
        return;
    }
    if (shared_.awaitBootRom.load() && count < kBootRomPromptMaxRead &&
        std::find(rxBuffer_.begin(), rxBuffer_.begin() + count, kBootRomPrompt) !=
            rxBuffer_.begin() + count) {
        HandleBootRomPrompt();
        return;
    }
    AppendPending(rxBuffer_.data(), count);
    ScanFrames();
}

void SessionProtocol::HandleBootRomPrompt() {
    const SessionHeader header = shared_.GetSessionHeader();
    const ChipFamily family = FamilyOfCode(header.chipCode);
    // Build first: a chip code without an image is refused before anything is sent.
    auto block = BuildBootBlock(chipTable_, header);
    shared_.awaitBootRom.store(false);
    if (!block) {
        Fail(kNoBootImageText);
        return;
    }
    const uint8_t answer = family == ChipFamily::BigEndian ? kBigEndianAnswer : kLittleEndianAnswer;
    port_.Write(&answer, 1);
    Announce('U');
    sleeper_.SleepMs(kPromptAnswerDelayMs);
    if (family == ChipFamily::LittleEndian) {
        static constexpr uint8_t kPrefix[] = {0x00, 0x02, 0x00, 0x00};
        port_.Write(kPrefix, sizeof kPrefix);
        sleeper_.SleepMs(kShortPauseMs);
    }
    port_.Write(block->data(), kBootBlockBytes);
}

void SessionProtocol::AppendPending(const uint8_t* data, unsigned length) {
    if (scanPos_ == writePos_) scanPos_ = writePos_ = 0;
    if (writePos_ + length > kPendingBytes) {
        // Only unscanned bytes behind malformed frames pile up here: move them to the front,
        // and if they still leave no room, drop the oldest of them.
        unsigned keep = writePos_ - scanPos_;
        const unsigned room = kPendingBytes - length;
        if (keep > room) {
            scanPos_ += keep - room;
            keep = room;
        }
        std::memmove(pending_.data(), pending_.data() + scanPos_, keep);
        scanPos_ = 0;
        writePos_ = keep;
    }
    std::memcpy(pending_.data() + writePos_, data, length);
    writePos_ += length;
}

void SessionProtocol::ScanFrames() {
    while (scanPos_ < writePos_) {
        const uint8_t* begin = pending_.data() + scanPos_;
        const uint8_t* end = pending_.data() + writePos_;
        const uint8_t* mark = std::find(begin, end, kFrameStart);
        scanPos_ = static_cast<unsigned>(mark - pending_.data());
        if (mark == end) return;
        if (end - mark < 4) return;  // wait for the rest of the frame
        if (mark[3] != kFrameEnd) {
            // Not a frame: skip just this start mark, a real frame may follow at once.
            ++scanPos_;
            continue;
        }
        const uint8_t cls = mark[1];
        const uint8_t value = mark[2];
        scanPos_ += 4;
        HandleFrame(cls, value);
        if (dumping_) {
            // Whatever followed the frame that started the dump is dump data.
            const unsigned rest = writePos_ - scanPos_;
            const unsigned from = scanPos_;
            scanPos_ = writePos_ = 0;
            if (rest > 0) ReceiveDump(pending_.data() + from, rest);
            return;
        }
    }
}

void SessionProtocol::HandleFrame(uint8_t cls, uint8_t value) {
    switch (cls) {
        case 'c':
            HandleStageFrame(value);
            break;
        case 'p':
            HandleProgress(value);
            break;
        case 'v':
            HandleLengthCheck(value, false);
            break;
        case 'w':
            HandleLengthCheck(value, true);
            break;
        case 'e':
            if (value == 'N') {
                port_.Close();
                Finish('N');
                prompt_.Show({kDecompressErrorText, kErrorCaption, PromptIcon::Warning});
            }
            break;
        default:
            break;  // other classes are consumed and ignored
    }
}

void SessionProtocol::HandleStageFrame(uint8_t letter) {
    const SessionHeader header = shared_.GetSessionHeader();
    const uint8_t mode = header.mode;
    switch (letter) {
        case 'A':
            Announce('A');
            dumping_ = false;
            dumpComplete_ = false;
            sleeper_.SleepMs(kShortPauseMs);
            port_.Open(activePort_, kLoaderLineSettings);
            break;
        case 'B': {
            Announce('B');
            const ChipFamily family = FamilyOfCode(header.chipCode);
            AnnounceLength(static_cast<uint32_t>(images_.DramImage(family).size()));
            break;
        }
        case 'V': {
            Announce('V');
            HardwareInfo answer{};
            if (header.chipCode == kHardwareCheckChip && header.startAddress == kHardwareCheckStart)
                answer = shared_.HardwareInfo();
            sleeper_.SleepMs(kShortPauseMs);
            port_.Write(answer.data(), kHardwareInfoBytes);
            break;
        }
        case 'D': {
            Announce('D');
            FilePtr file(std::fopen(shared_.DataFilePath().c_str(), "rb"));
            const long long length = file ? FileLength(file.get()) : -1;
            if (length < 0) {
                Fail(kDataFileErrorText);
            } else if (uint64_t(length) > kMaxAnnouncedBytes) {
                Fail(kDataTooLargeText);
            } else {
                AnnounceLength(static_cast<uint32_t>(length));
            }
            break;
        }
        case 'F':
            Announce('F');
            break;
        case 'G':
            dumping_ = true;
            dumpComplete_ = false;
            dumpReceived_ = 0;
            shared_.dumpReceived = 0;
            Announce('G');
            mainBase_ = 25;
            PostProgress(2, 0);
            PostMain();
            break;
        case 'H':
        case 'I':
            Announce(static_cast<char>(letter));
            if (mode == 0 || mode == 1) {
                static constexpr int kBase[2][2] = {{50, 75}, {33, 66}};  // [mode][H, I]
                mainBase_ = kBase[mode][letter == 'I'];
                PostMain();
            }
            break;
        case 'O':
            if (mode == 2 && !dumpComplete_) {
                // The loader ended before the section arrived: no success with a short file.
                const uint32_t total = header.sectionSize;
                shared_.dumpFile.Close();
                Fail("The dump ended early: " + std::to_string(dumpReceived_) + " of " +
                     std::to_string(total) + " bytes arrived.");
                break;
            }
            [[fallthrough]];
        case 'P':
            port_.Close();
            Finish(static_cast<char>(letter));
            break;
        default:
            break;  // stage letters not known here are ignored
    }
}

void SessionProtocol::HandleProgress(uint8_t count) {
    PostProgress(2, static_cast<unsigned>(count * 0.78125));
    const uint8_t mode = shared_.GetSessionHeader().mode;
    double main;
    if (mode == 0 || mode == 2)
        main = mainBase_ + count * 0.1953125;
    else if (mode == 1)
        main = mainBase_ + count * 0.26015625;
    else
        return;
    PostProgress(1, static_cast<unsigned>(static_cast<int>(main)));
}

void SessionProtocol::HandleLengthCheck(uint8_t check, bool dataFile) {
    Announce(dataFile ? 'K' : 'S');
    const uint8_t expected = announced_[0] ^ announced_[1] ^ announced_[2];
    if (check == expected) {
        if (dataFile) {
            SendDataFile();
        } else {
            sleeper_.SleepMs(kPromptAnswerDelayMs);
            const auto image = images_.DramImage(FamilyOfCode(shared_.GetSessionHeader().chipCode));
            port_.Write(image.data(), static_cast<unsigned>(image.size()));
            sink_.Post(WM_SESSION_SEND_BEGIN, image.size(), 0);
        }
    } else {
        port_.Close();
        prompt_.Show({kSendDataErrorText, kErrorCaption, PromptIcon::Warning});
    }
    mainBase_ = dataFile ? 25 : 0;
    PostMain();
}

void SessionProtocol::SendDataFile() {
    FilePtr file(std::fopen(shared_.DataFilePath().c_str(), "rb"));
    const long long length = file ? FileLength(file.get()) : -1;
    if (length < 0) {
        Fail(kDataFileErrorText);
        return;
    }
    // What was queued before the stream must leave first: the stream's progress counts from it.
    shared_.sendStartQueued = port_.BytesQueued();
    sink_.Post(WM_SESSION_SEND_BEGIN, static_cast<uint64_t>(length), 0);
    // Full chunks, then the remainder: a write of 0 bytes when the length is a multiple.
    long long left = length;
    do {
        const auto chunk = static_cast<unsigned>(std::min<long long>(left, kChunkBytes));
        if (std::fread(rxBuffer_.data(), 1, chunk, file.get()) != chunk) {
            Fail(kDataFileErrorText);
            return;
        }
        sleeper_.SleepMs(kShortPauseMs);
        port_.Write(rxBuffer_.data(), chunk);
        left -= chunk;
        if (chunk < kChunkBytes) break;
    } while (true);
}

void SessionProtocol::ReceiveDump(const uint8_t* data, unsigned length) {
    const uint32_t total = shared_.GetSessionHeader().sectionSize;
    const uint32_t before = dumpReceived_;
    dumpReceived_ += length;
    if (dumpReceived_ < total) {
        if (!shared_.dumpFile.Write(data, length)) {
            dumping_ = false;
            FailDumpWrite();
            return;
        }
        shared_.dumpReceived = dumpReceived_;
        PostProgress(2, static_cast<unsigned>(uint64_t{dumpReceived_} * 100 / total));
        const double main = double(dumpReceived_) * 75.0 / double(total) + mainBase_;
        PostProgress(1, static_cast<unsigned>(static_cast<int>(main)));
        return;
    }
    dumping_ = false;
    const uint32_t missing = total - before;  // the surplus of this read is dropped
    const bool written = shared_.dumpFile.Write(data, missing) && shared_.dumpFile.Complete();
    port_.Close();
    if (!written) {
        FailDumpWrite();
        return;
    }
    dumpReceived_ = total;
    shared_.dumpReceived = total;
    dumpComplete_ = true;
    Finish('O');
}

void SessionProtocol::FailDumpWrite() {
    // The file is closed by now; what arrived is kept as the partial file.
    const std::string cause = shared_.dumpFile.Error();
    Fail(std::string(kDumpWriteErrorText) + (cause.empty() ? "" : "\n" + cause));
}

void SessionProtocol::Announce(char letter) {
    shared_.SetStatusText(StageTextFor(letter));
    sink_.Post(WM_SESSION_UPDATE, kUpdateStage, letter);
}

void SessionProtocol::PostProgress(uint64_t kind, unsigned value) {
    const auto percent = static_cast<uint8_t>(value);
    sink_.Post(WM_SESSION_UPDATE, kind, percent);
    if (percent == 100) sink_.Post(WM_SESSION_SEND_END, 0, 0);
}

void SessionProtocol::Finish(char letter) {
    Announce(letter);
    PostProgress(2, 100);
    PostProgress(1, 100);
    sink_.Post(WM_SESSION_FINISHED, 0, 0);
    sink_.Beep();
}

void SessionProtocol::Fail(const std::string& text) {
    port_.Close();
    prompt_.Show({text, kErrorCaption, PromptIcon::Warning});
}

void SessionProtocol::AnnounceLength(uint32_t length) {
    for (int i = 0; i < 3; ++i) announced_[i] = static_cast<uint8_t>(length >> (8 * i));
    sleeper_.SleepMs(kShortPauseMs);
    port_.Write(announced_.data(), 3);
}

}  // namespace pelorin
