// The target model: boot ROM, boot loader and DRAM loader as one state machine driven by the
// bytes the host sends. It only queues what the target would send; its owner does the timing.
#include "sim/target_model.h"

#include <algorithm>
#include <cstdio>

#include "session/boot_block.h"
#include "session/session_header.h"
#include "sim/boot_block_check.h"
#include "sim/gzip_member.h"
#include "sim/target_output.h"

namespace pelorin::sim {
namespace {

constexpr uint8_t kBigEndianAnswer = 0x18;
constexpr uint8_t kLittleEndianAnswer = 0x59;
constexpr uint8_t kLittleEndianPrefix[4] = {0x00, 0x02, 0x00, 0x00};
constexpr unsigned kLengthBytes = 3;
constexpr unsigned kHardwareVersionBytes = 8;
// Dump data leaves in transmissions of this size.
constexpr size_t kDumpChunkBytes = 4096;

// What the target waits for.
enum class Phase {
    BootRomWait,   // prompting 'X', waiting for the answer byte
    BootPrefix,    // little-endian: the four bytes before the block
    BootBlock,     // the 2048-byte block
    DramLength,    // three length bytes of the DRAM loader
    DramImage,     // the DRAM loader itself
    HardwareInfo,  // eight hardware version bytes
    DataLength,    // three length bytes of the data member
    Data,          // the gzip member
    Done,          // operation over; waits for a reset
    Silent,        // stopped talking; waits for a reset
};

const char* ModeName(uint8_t mode) {
    switch (mode) {
        case 0:
            return "Download";
        case 1:
            return "Erase";
        case 2:
            return "Dump";
        default:
            return "unknown mode";
    }
}

std::string Hex32(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

}  // namespace

unsigned BootRomBaud(unsigned crystalKhz) {
    switch (crystalKhz) {
        case 4000:
            return 9600;
        case 8000:
            return 38400;
        case 13500:
        case 16000:
            return 57600;
        case 27000:
            return 115200;
        default:
            return 9600;
    }
}

struct TargetModel::State {
    TargetConfig config;
    std::function<void(const std::string&)> log;
    NoiseSource noise;
    TargetOutput output{config, noise, log};

    Phase phase = Phase::BootRomWait;
    char stage = 'X';
    bool finished = false;
    bool atLoaderSpeed = false;
    ChipFamily family = ChipFamily::BigEndian;
    SessionHeader header;
    ChipType chip{};
    std::vector<uint8_t> buffer;  // bytes of the current phase so far
    size_t expected = 0;          // bytes the current phase takes
    char garbageLoggedAt = 0;     // stage whose garbage was already logged
    bool ignoredLogged = false;
    bool prompted = false;  // an answer counts only after a prompt

    void Log(const std::string& line) {
        if (log) log(line);
    }

    unsigned Baud() const { return atLoaderSpeed ? kLoaderBaud : BootRomBaud(config.crystalKhz); }

    void Expect(Phase next, size_t bytes) {
        phase = next;
        expected = bytes;
        buffer.clear();
    }

    // ---- output, at the line speed of the moment ----

    TargetChunk& Push(std::vector<uint8_t> bytes, unsigned workMs = 0, unsigned holdMs = 0) {
        return output.Push(Baud(), std::move(bytes), workMs, holdMs);
    }
    void Frame(uint8_t cls, uint8_t value, unsigned workMs = 0, unsigned holdMs = 0) {
        output.Frame(Baud(), cls, value, workMs, holdMs);
    }
    void Progress(size_t bytes, unsigned usPerKiB) { output.Progress(Baud(), bytes, usPerKiB); }

    // Announces a stage; false when the target falls silent right after it.
    bool Announce(char letter, const std::string& what, unsigned holdMs = 0) {
        stage = letter;
        Log(std::string("stage ") + letter + ": " + what);
        Frame('c', static_cast<uint8_t>(letter), 0, holdMs);
        return !SilentAfter(letter);
    }

    bool SilentAfter(char letter) {
        if (config.faults.silentAt != letter) return false;
        Log(std::string("fault: silent from stage ") + letter);
        phase = Phase::Silent;
        return true;
    }

    void Finish(char letter) {
        stage = letter;
        phase = Phase::Done;
        finished = true;
    }

    // ---- flash ----

    // The part of the section that exists in the flash array; the rest reads as erased.
    std::pair<size_t, size_t> SectionInFlash() const {
        const size_t size = config.flash.size();
        const size_t start = std::min<size_t>(header.startAddress, size);
        const size_t end =
            std::min<size_t>(static_cast<size_t>(header.startAddress) + header.sectionSize, size);
        return {start, end};
    }

    void EraseSection() {
        auto [start, end] = SectionInFlash();
        std::fill(config.flash.begin() + static_cast<long>(start),
                  config.flash.begin() + static_cast<long>(end), 0xFF);
    }

    // ---- received bytes, by phase ----

    void OnAnswerByte(uint8_t b) {
        if (prompted && (b == kBigEndianAnswer || b == kLittleEndianAnswer)) {
            family = b == kBigEndianAnswer ? ChipFamily::BigEndian : ChipFamily::LittleEndian;
            stage = 'U';
            Log(std::string("boot ROM: answer ") +
                (b == kBigEndianAnswer ? "0x18, big-endian" : "0x59, little-endian") +
                " block expected");
            if (family == ChipFamily::LittleEndian)
                Expect(Phase::BootPrefix, sizeof kLittleEndianPrefix);
            else
                Expect(Phase::BootBlock, kBootBlockBytes);
            return;
        }
        if (!ignoredLogged) Log("boot ROM: ignored byte " + Hex32(b) + " while prompting");
        ignoredLogged = true;
    }

    // The boot ROM starts over: it listens for an answer again only after its next prompt, so
    // the rest of a refused upload is not taken for one.
    void BackToPrompt(const std::string& why) {
        Log("boot ROM: " + why + "; prompting again");
        stage = 'X';
        prompted = false;
        Expect(Phase::BootRomWait, 1);
    }

    void OnPrefix() {
        if (!std::equal(buffer.begin(), buffer.end(), std::begin(kLittleEndianPrefix))) {
            BackToPrompt("wrong prefix before the block");
            return;
        }
        Expect(Phase::BootBlock, kBootBlockBytes);
    }

    void OnBootBlock() {
        BootBlockCheck check = CheckBootBlock(buffer, family, config.images);
        if (!check.ok) {
            BackToPrompt("block refused: " + check.reason);
            return;
        }
        header = check.header;
        chip = check.chip;
        Log("boot ROM: block for " + std::string(chip.name) + " (image " +
            std::to_string(chip.bootImage) + "), " + ModeName(header.mode) + ", section " +
            Hex32(header.startAddress) + " size " + Hex32(header.sectionSize));
        if (header.crystalKhz != config.crystalKhz)
            // The loader derives its line speed from the board, not from the header: note only.
            Log("boot ROM: header says crystal " + std::to_string(header.crystalKhz) +
                " kHz, board has " + std::to_string(config.crystalKhz) + " kHz");
        if (static_cast<uint64_t>(header.startAddress) + header.sectionSize > config.flash.size())
            Log("boot ROM: section ends beyond the " + std::to_string(config.flash.size()) +
                "-byte flash; the missing part reads as erased");
        if (SilentAfter('U')) return;
        if (!Announce('A', "boot loader runs")) return;
        atLoaderSpeed = true;
        if (!Announce('B', "asks for the DRAM loader length", config.loaderStartMs)) return;
        Expect(Phase::DramLength, kLengthBytes);
    }

    uint32_t LengthOfBuffer() const {
        return static_cast<uint32_t>(buffer[0] | buffer[1] << 8 | buffer[2] << 16);
    }

    // Answers a length announcement with its check byte; false when silent afterwards.
    bool AnswerLength(uint8_t cls, bool wrong, char stageLetter, const char* what) {
        const auto check = static_cast<uint8_t>(buffer[0] ^ buffer[1] ^ buffer[2]);
        uint8_t sent = check;
        if (wrong) {
            sent = static_cast<uint8_t>(check ^ 0x01);
            Log("fault: wrong " + std::string(what) + " check byte " + Hex32(sent) +
                " instead of " + Hex32(check));
        }
        stage = stageLetter;
        Log(std::string("stage ") + stageLetter + ": " + what + " length " +
            std::to_string(LengthOfBuffer()) + ", check " + Hex32(sent));
        Frame(cls, sent);
        return !SilentAfter(stageLetter);
    }

    void OnDramLength() {
        const uint32_t length = LengthOfBuffer();
        const size_t imageSize = config.images.DramImage(family).size();
        if (length != imageSize)
            Log("DRAM loader length " + std::to_string(length) + " announced, " +
                std::to_string(imageSize) + " expected");
        if (!AnswerLength('v', config.faults.wrongDramCheck, 'S', "DRAM loader")) return;
        Expect(Phase::DramImage, length);
        if (length == 0) OnDramImage();
    }

    void OnDramImage() {
        std::span<const uint8_t> image = config.images.DramImage(family);
        if (!std::equal(buffer.begin(), buffer.end(), image.begin(), image.end())) {
            Log("DRAM loader differs from the board's image; it does not run");
            phase = Phase::Silent;
            return;
        }
        Log("DRAM loader runs");
        switch (header.mode) {
            case 0:
                if (!Announce('V', "asks for the hardware version")) return;
                Expect(Phase::HardwareInfo, kHardwareVersionBytes);
                return;
            case 1:
                RunErase();
                return;
            default:
                RunDump();
                return;
        }
    }

    void OnHardwareInfo() {
        std::string bytes;
        for (uint8_t b : buffer) {
            char text[4];
            std::snprintf(text, sizeof text, " %02X", b);
            bytes += text;
        }
        Log("hardware version" + bytes);
        if (config.faults.rejectHardware) {
            Log("fault: hardware version rejected");
            Announce('P', "hardware version refused");
            Finish('P');
            return;
        }
        if (!Announce('D', "asks for the data length")) return;
        Expect(Phase::DataLength, kLengthBytes);
    }

    void OnDataLength() {
        const uint32_t length = LengthOfBuffer();
        if (!AnswerLength('w', config.faults.wrongDataCheck, 'K', "data")) return;
        Expect(Phase::Data, length);
        if (length == 0) OnData();
    }

    void OnData() {
        if (config.faults.corruptData && buffer.size() >= 8) {
            // Spoil the member's CRC-32 so that it can never inflate intact.
            buffer[buffer.size() - 8] ^= 0x01;
            Log("fault: data member corrupted");
        }
        std::vector<uint8_t> data;
        std::string error;
        if (!InflateGzipMember(buffer, header.sectionSize, data, error)) {
            Log("data member of " + std::to_string(buffer.size()) +
                " bytes does not inflate: " + error);
            stage = 'N';
            Frame('e', 'N');
            Finish('N');
            return;
        }
        Log("data member inflates to " + std::to_string(data.size()) + " bytes");
        auto [start, end] = SectionInFlash();
        if (!Announce('H', "erases the section")) return;
        Progress(header.sectionSize, config.eraseUsPerKiB);
        EraseSection();
        if (!Announce('I', "writes the section")) return;
        Progress(data.size(), config.writeUsPerKiB);
        const size_t fits = std::min(data.size(), end - start);
        std::copy_n(data.begin(), fits, config.flash.begin() + static_cast<long>(start));
        if (const auto at = config.faults.corruptFlashByte; at && *at < config.flash.size()) {
            uint8_t& cell = config.flash[*at];
            Log("fault: flash byte at " + Hex32(*at) + " flips from " + Hex32(cell) + " to " +
                Hex32(static_cast<uint8_t>(~cell)));
            cell = static_cast<uint8_t>(~cell);
        }
        Announce('O', "done");
        Finish('O');
    }

    void RunErase() {
        Log("erase: preparing");
        Progress(header.sectionSize, config.copyUsPerKiB);
        if (!Announce('H', "erases the section")) return;
        Progress(header.sectionSize, config.eraseUsPerKiB);
        EraseSection();
        if (!Announce('I', "verifies the section")) return;
        Progress(header.sectionSize, config.copyUsPerKiB);
        Announce('O', "done");
        Finish('O');
    }

    void RunDump() {
        if (!Announce('F', "copies the section to DRAM")) return;
        Progress(header.sectionSize, config.copyUsPerKiB);
        if (!Announce('G', "sends the section")) return;
        std::vector<uint8_t> section(header.sectionSize, 0xFF);
        auto [start, end] = SectionInFlash();
        std::copy(config.flash.begin() + static_cast<long>(start),
                  config.flash.begin() + static_cast<long>(end), section.begin());
        size_t at = 0;
        if (config.faults.dumpAfterG) {
            Log("fault: dump data sent with the 'G' frame");
            const size_t n = std::min(kDumpChunkBytes, section.size());
            auto& last = output.LastBytes();
            last.insert(last.end(), section.begin(), section.begin() + static_cast<long>(n));
            at = n;
        }
        for (; at < section.size(); at += kDumpChunkBytes) {
            const size_t n = std::min(kDumpChunkBytes, section.size() - at);
            Push({section.begin() + static_cast<long>(at),
                  section.begin() + static_cast<long>(at + n)});
        }
        Log("dump: " + std::to_string(section.size()) + " bytes queued");
        Finish('G');
    }

    void Complete() {
        switch (phase) {
            case Phase::BootPrefix:
                OnPrefix();
                break;
            case Phase::BootBlock:
                OnBootBlock();
                break;
            case Phase::DramLength:
                OnDramLength();
                break;
            case Phase::DramImage:
                OnDramImage();
                break;
            case Phase::HardwareInfo:
                OnHardwareInfo();
                break;
            case Phase::DataLength:
                OnDataLength();
                break;
            case Phase::Data:
                OnData();
                break;
            default:
                break;
        }
    }

    void Take(const uint8_t* data, size_t length) {
        size_t i = 0;
        while (i < length) {
            switch (phase) {
                case Phase::BootRomWait:
                    OnAnswerByte(data[i++]);
                    break;
                case Phase::Done:
                case Phase::Silent:
                    return;
                default: {
                    const size_t n = std::min(expected - buffer.size(), length - i);
                    buffer.insert(buffer.end(), data + i, data + i + n);
                    i += n;
                    if (buffer.size() == expected) Complete();
                    break;
                }
            }
        }
    }
};

TargetModel::TargetModel(TargetConfig config) : state_(std::make_shared<State>()) {
    state_->config = std::move(config);
    Reset();
}

void TargetModel::Reset() {
    State& s = *state_;
    s.output.Clear();
    s.stage = 'X';
    s.finished = false;
    s.atLoaderSpeed = false;
    s.garbageLoggedAt = 0;
    s.ignoredLogged = false;
    s.prompted = false;
    s.header = {};
    s.Expect(Phase::BootRomWait, 1);
}

void TargetModel::Prompt() {
    if (state_->phase != Phase::BootRomWait) return;
    state_->prompted = true;
    state_->Push({'X'});
}

void TargetModel::Receive(const uint8_t* data, size_t length, unsigned baud) {
    State& s = *state_;
    if (length == 0) return;
    if (s.phase == Phase::Done || s.phase == Phase::Silent) return;
    if (baud == s.Baud()) {
        s.Take(data, length);
        return;
    }
    // A UART at another speed samples the wrong bits: every byte arrives changed.
    if (s.garbageLoggedAt != s.stage) {
        s.Log("line: bytes at " + std::to_string(baud) + " baud while listening at " +
              std::to_string(s.Baud()) + ": garbage");
        s.garbageLoggedAt = s.stage;
    }
    std::vector<uint8_t> garbage(data, data + length);
    for (uint8_t& b : garbage) b = static_cast<uint8_t>(b ^ (1 + s.noise.Next() % 255));
    s.Take(garbage.data(), garbage.size());
}

bool TargetModel::TakeOutput(TargetChunk& chunk) {
    return state_->output.Take(chunk);
}

char TargetModel::Stage() const {
    return state_->stage;
}
unsigned TargetModel::LineBaud() const {
    return state_->Baud();
}
bool TargetModel::AwaitingAnswer() const {
    return state_->phase == Phase::BootRomWait;
}
bool TargetModel::Finished() const {
    return state_->finished;
}
bool TargetModel::Silent() const {
    return state_->phase == Phase::Silent;
}
const std::vector<uint8_t>& TargetModel::Flash() const {
    return state_->config.flash;
}

void TargetModel::SetLog(std::function<void(const std::string&)> log) {
    state_->log = std::move(log);
}

}  // namespace pelorin::sim
