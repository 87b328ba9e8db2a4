// A host written by hand for the target model's tests: it answers each frame the way the
// protocol says, without the session code, and records everything the target sent.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "session/boot_block.h"
#include "session/chip_types.h"
#include "session/session_header.h"
#include "session/target_images.h"
#include "sim/target_model.h"

namespace pelorin::sim::test {

struct Frame {
    uint8_t cls, value;
    bool operator==(const Frame&) const = default;
};

inline std::vector<uint8_t> Gzip(const std::vector<uint8_t>& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    return v;
}

inline std::vector<Frame> FramesIn(const std::vector<uint8_t>& bytes) {
    std::vector<Frame> frames;
    for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
        if (bytes[i] != 0xFE || bytes[i + 3] != 0xFF) continue;
        frames.push_back({bytes[i + 1], bytes[i + 2]});
        i += 3;
    }
    return frames;
}

inline std::vector<uint8_t> Length3(size_t n) {
    return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16)};
}

inline uint8_t Xor3(size_t n) {
    return static_cast<uint8_t>(n ^ n >> 8 ^ n >> 16);
}

inline SessionHeader Header(uint8_t chipCode, OperationMode mode, uint32_t start, uint32_t size,
                            uint16_t crystalKhz = 27000) {
    return {.mode = static_cast<uint8_t>(mode),
            .chipCode = chipCode,
            .crystalKhz = crystalKhz,
            .startAddress = start,
            .sectionSize = size};
}

class HostScript {
  public:
    explicit HostScript(TargetModel& model) : model_(model) {
        model_.SetLog([this](const std::string& line) { log.push_back(line); });
        table_.Fill(images);
    }

    // Everything the target queued, appended to `received`, chunks kept for inspection.
    void Drain() {
        TargetChunk chunk;
        while (model_.TakeOutput(chunk)) {
            received.insert(received.end(), chunk.bytes.begin(), chunk.bytes.end());
            chunks.push_back(chunk);
        }
    }

    void Send(std::span<const uint8_t> bytes, unsigned baud) {
        model_.Receive(bytes.data(), bytes.size(), baud);
        Drain();
    }

    // Takes the frames out of `received`, skipping bytes outside frames.
    std::vector<Frame> TakeFrames() { return FramesIn(std::exchange(received, {})); }

    // The block the host sends for `header`, with the family's answer byte and prefix.
    std::vector<uint8_t> BootAnswer(const SessionHeader& header) {
        auto block = BuildBootBlock(table_, header);
        std::vector<uint8_t> out = {0x18};
        if (FamilyOfCode(header.chipCode) == ChipFamily::LittleEndian) out = {0x59, 0, 2, 0, 0};
        if (block) out.insert(out.end(), block->begin(), block->end());
        return out;
    }

    // Prompt, answer and block at `baud`; returns the frames that follow.
    std::vector<Frame> Boot(const SessionHeader& header, unsigned baud) {
        model_.Prompt();
        Drain();
        if (std::exchange(received, {}) != std::vector<uint8_t>{'X'}) return {};
        Send(BootAnswer(header), baud);
        return TakeFrames();
    }

    // Length announcement of the family's DRAM image, then the image when the check matches.
    std::vector<Frame> SendDram(ChipFamily family) {
        auto image = images.DramImage(family);
        Send(Length3(image.size()), kLoaderBaud);
        if (FramesIn(received) == std::vector<Frame>{{'v', Xor3(image.size())}})
            Send(image, kLoaderBaud);
        return TakeFrames();
    }

    TargetImages images;
    std::vector<std::string> log;
    std::vector<uint8_t> received;
    std::vector<TargetChunk> chunks;

  private:
    TargetModel& model_;
    ChipImageTable table_;
};

}  // namespace pelorin::sim::test
