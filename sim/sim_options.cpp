// Parsing of pelorin-sim's command line.
#include "sim/sim_options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace pelorin::sim {
namespace {

constexpr std::string_view kStageLetters = "UABSVDKFGHI";
constexpr std::pair<std::string_view, unsigned> kCrystals[] = {
    {"27", 27000}, {"16", 16000}, {"13.5", 13500}, {"8", 8000}, {"4", 4000}};
constexpr double kMinPace = 0.01;
constexpr double kMaxPace = 10000;
// Flash addresses are 32 bits wide.
constexpr uint64_t kMaxFlashBytes = 1ull << 32;
constexpr uint64_t kMaxNoiseBytes = 4096;
constexpr uint64_t kMaxPromptMs = 60000;
// One second per KiB already makes a 2 MiB erase last over half an hour.
constexpr uint64_t kMaxUsPerKiB = 1'000'000;

// Decimal or 0x-hex digits only, with an optional K or M (binary) suffix when `withSuffix`;
// false for anything else and for values beyond 64 bits, the suffix's scale included.
bool ParseCount(std::string_view text, uint64_t& value, bool withSuffix) {
    uint64_t scale = 1;
    if (withSuffix && !text.empty() && (text.back() == 'K' || text.back() == 'k')) scale = 1024;
    if (withSuffix && !text.empty() && (text.back() == 'M' || text.back() == 'm')) scale = 1 << 20;
    if (scale != 1) text.remove_suffix(1);
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (v > (UINT64_MAX - digit) / base) return false;
        v = v * base + digit;
    }
    if (v > UINT64_MAX / scale) return false;
    value = v * scale;
    return true;
}

// One of the crystals the board's boot ROM knows, in MHz as the host names them.
bool ParseCrystal(std::string_view text, unsigned& khz) {
    for (const auto& [name, value] : kCrystals) {
        if (text == name) {
            khz = value;
            return true;
        }
    }
    return false;
}

bool ParsePace(std::string_view text, double& factor) {
    if (text == "realtime") {
        factor = 1.0;
        return true;
    }
    if (text == "unpaced") {
        factor = 0.0;
        return true;
    }
    std::string digits(text);
    char* end = nullptr;
    const double v = std::strtod(digits.c_str(), &end);
    // Beyond these the pacer's byte times no longer fit its clock.
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits[0])) || *end != '\0' ||
        !(v >= kMinPace && v <= kMaxPace))
        return false;
    factor = v;
    return true;
}

}  // namespace

std::string SimUsage() {
    return R"(Usage: pelorin-sim [options]
A simulated set-top-box board behind a pseudo-terminal: boot ROM, boot loader and DRAM loader,
with its flash kept in a file. Point the loader at the printed pseudo-terminal or at --link.

  --link PATH           make PATH a symbolic link to the pseudo-terminal (removed at exit)
  --flash FILE          flash contents, kept between runs (default pelorin-sim-flash.bin)
  --flash-size BYTES    flash size for a new file (default 2M; K and M suffixes, 0x hex)
  --fill BYTE           content of a new flash file (default 0xFF)
  --xtal MHZ            crystal: 27, 16, 13.5, 8 or 4 (default 27); sets the boot ROM's speed
  --pace MODE           realtime (default), unpaced, or a speed factor such as 10
  --prompt-ms MS        boot ROM prompt interval while waiting (default 100)
  --erase-us-per-kib N  simulated erase time per KiB (default 0); also --write-us-per-kib,
                        --copy-us-per-kib (reading flash: dump copy, erase check)
  --images DIR          the board expects these loader images (see README); default the
                        built-in set, or $PELORIN_IMAGES_DIR
  --once                exit after one operation
  --log-received        log every 8 KiB taken from the host, each boot ROM prompt and the
                        first bytes that answer it, with the monotonic clock in ns
                        (to check the host's progress display against the board)
  --vanish-after BYTES  close the pseudo-terminal after BYTES of one operation (unplugged board)
  --reenumerate-ms MS   after each operation the port goes away for MS milliseconds and comes
                        back as a new pseudo-terminal (a USB adapter enumerating again)
  --freeze-after BYTES  stop taking the host's bytes after BYTES of one operation, staying
                        present (a board hung in the data stream)
Faults:
  --silent-at L         stop talking at stage L (U A B S V D K F G H I)
  --wrong-dram-check    wrong check byte for the DRAM loader length
  --wrong-data-check    wrong check byte for the data length
  --corrupt-data        the data does not inflate ('e' 'N')
  --corrupt-flash-byte OFFSET
                        after writing the section, flip the flash byte at OFFSET, so that
                        a later dump reads it changed
  --reject-hardware     refuse the hardware version ('c' 'P')
  --noise N             N noise bytes between frames
  --split-frames        send each frame in two pieces
  --dump-after-g        send dump data right behind the 'G' frame
  --version             print the version
  --help                this text
)";
}

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string_view v;
        auto value = [&]() {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& expected) {
            error = std::string(arg) + ": '" + std::string(v) + "' is not " + expected;
            return false;
        };
        uint64_t n = 0;
        auto count = [&](uint64_t low, uint64_t high, bool withSuffix) {
            return ParseCount(v, n, withSuffix) && n >= low && n <= high;
        };
        auto range = [&](uint64_t low, uint64_t high) {
            return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--link") {
            if (!value()) return false;
            options.link = v;
        } else if (arg == "--flash") {
            if (!value()) return false;
            options.flashPath = v;
        } else if (arg == "--flash-size") {
            if (!value()) return false;
            if (!count(1, kMaxFlashBytes, true))
                return bad("a size from 1 byte to 4096M (K, M, 0x allowed)");
            options.flashSize = static_cast<size_t>(n);
        } else if (arg == "--fill") {
            if (!value()) return false;
            if (!count(0, 0xFF, false)) return bad("a byte (0 to 0xFF)");
            options.fill = static_cast<uint8_t>(n);
        } else if (arg == "--xtal") {
            if (!value()) return false;
            if (!ParseCrystal(v, options.crystalKhz)) return bad("one of 27, 16, 13.5, 8, 4 (MHz)");
        } else if (arg == "--pace") {
            if (!value()) return false;
            if (!ParsePace(v, options.paceFactor))
                return bad("realtime, unpaced or a factor from 0.01 to 10000");
        } else if (arg == "--prompt-ms") {
            if (!value()) return false;
            if (!count(1, kMaxPromptMs, false)) return bad(range(1, kMaxPromptMs));
            options.promptMs = static_cast<unsigned>(n);
        } else if (arg == "--erase-us-per-kib" || arg == "--write-us-per-kib" ||
                   arg == "--copy-us-per-kib") {
            if (!value()) return false;
            if (!count(0, kMaxUsPerKiB, false)) return bad(range(0, kMaxUsPerKiB));
            unsigned& target = arg == "--erase-us-per-kib"   ? options.eraseUsPerKiB
                               : arg == "--write-us-per-kib" ? options.writeUsPerKiB
                                                             : options.copyUsPerKiB;
            target = static_cast<unsigned>(n);
        } else if (arg == "--images") {
            if (!value()) return false;
            options.imagesDir = v;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--log-received") {
            options.logReceived = true;
        } else if (arg == "--vanish-after") {
            if (!value()) return false;
            if (!count(1, UINT64_MAX, true))
                return bad("a byte count of at least 1 (K, M, 0x allowed)");
            options.vanishAfter = n;
        } else if (arg == "--reenumerate-ms") {
            if (!value()) return false;
            if (!count(1, 60000, false)) return bad(range(1, 60000));
            options.reenumerateMs = static_cast<unsigned>(n);
        } else if (arg == "--freeze-after") {
            if (!value()) return false;
            if (!count(1, UINT64_MAX, true))
                return bad("a byte count of at least 1 (K, M, 0x allowed)");
            options.freezeAfter = n;
        } else if (arg == "--silent-at") {
            if (!value()) return false;
            if (v.size() != 1 || kStageLetters.find(v[0]) == std::string_view::npos)
                return bad("a stage letter: U A B S V D K F G H I");
            options.faults.silentAt = v[0];
        } else if (arg == "--wrong-dram-check") {
            options.faults.wrongDramCheck = true;
        } else if (arg == "--wrong-data-check") {
            options.faults.wrongDataCheck = true;
        } else if (arg == "--corrupt-data") {
            options.faults.corruptData = true;
        } else if (arg == "--corrupt-flash-byte") {
            if (!value()) return false;
            if (!count(0, kMaxFlashBytes - 1, true))
                return bad("a flash offset below 4096M (K, M, 0x allowed)");
            options.faults.corruptFlashByte = static_cast<uint32_t>(n);
        } else if (arg == "--reject-hardware") {
            options.faults.rejectHardware = true;
        } else if (arg == "--noise") {
            if (!value()) return false;
            if (!count(0, kMaxNoiseBytes, false)) return bad(range(0, kMaxNoiseBytes));
            options.faults.noiseBytes = static_cast<unsigned>(n);
        } else if (arg == "--split-frames") {
            options.faults.splitFrames = true;
        } else if (arg == "--dump-after-g") {
            options.faults.dumpAfterG = true;
        } else {
            error = "unknown option " + std::string(arg) + " (see --help)";
            return false;
        }
    }
    return true;
}

}  // namespace pelorin::sim
