// Parsing of pelorin-sim's command line.
#include "sim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace pelorin::sim {
namespace {

constexpr std::string_view kStageLetters = "UABSVDKFGHI";

// Decimal or 0x-hex, with an optional K or M (binary) suffix when `withSuffix`.
bool ParseCount(std::string_view text, uint64_t& value, bool withSuffix) {
    if (text.empty()) return false;
    uint64_t scale = 1;
    if (withSuffix && (text.back() == 'K' || text.back() == 'k')) scale = 1024;
    if (withSuffix && (text.back() == 'M' || text.back() == 'm')) scale = 1024 * 1024;
    if (scale != 1) text.remove_suffix(1);
    std::string digits(text);
    if (digits.empty() || digits[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(digits.c_str(), &end, 0);
    if (errno != 0 || end == digits.c_str() || *end != '\0') return false;
    value = static_cast<uint64_t>(v) * scale;
    return true;
}

bool ParseCrystal(std::string_view text, unsigned& khz) {
    std::string digits(text);
    if (digits.empty()) return false;
    char* end = nullptr;
    const double mhz = std::strtod(digits.c_str(), &end);
    if (end == digits.c_str() || *end != '\0' || !(mhz > 0) || mhz > 65) return false;
    // As the host reads its crystal list: MHz times 1000, truncated.
    khz = static_cast<unsigned>(mhz * 1000.0 + 1e-9);
    return true;
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
    if (digits.empty() || end == digits.c_str() || *end != '\0' || !(v > 0) || !std::isfinite(v))
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
  --vanish-after BYTES  close the pseudo-terminal after BYTES of one operation (unplugged board)
Faults:
  --silent-at L         stop talking at stage L (U A B S V D K F G H I)
  --wrong-dram-check    wrong check byte for the DRAM loader length
  --wrong-data-check    wrong check byte for the data length
  --corrupt-data        the data does not inflate ('e' 'N')
  --reject-hardware     refuse the hardware version ('c' 'P')
  --noise N             N noise bytes between frames
  --split-frames        send each frame in two pieces
  --dump-after-g        send dump data right behind the 'G' frame
  --help                this text
)";
}

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto bad = [&](std::string_view v) {
            error = "bad value for " + std::string(arg) + ": '" + std::string(v) + "'";
            return false;
        };
        std::string_view v;
        uint64_t n = 0;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--link") {
            if (!value(v)) return false;
            options.link = v;
        } else if (arg == "--flash") {
            if (!value(v)) return false;
            options.flashPath = v;
        } else if (arg == "--flash-size") {
            if (!value(v)) return false;
            if (!ParseCount(v, n, true) || n == 0 || n > (1ull << 32)) return bad(v);
            options.flashSize = static_cast<size_t>(n);
        } else if (arg == "--fill") {
            if (!value(v)) return false;
            if (!ParseCount(v, n, false) || n > 0xFF) return bad(v);
            options.fill = static_cast<uint8_t>(n);
        } else if (arg == "--xtal") {
            if (!value(v)) return false;
            if (!ParseCrystal(v, options.crystalKhz)) return bad(v);
        } else if (arg == "--pace") {
            if (!value(v)) return false;
            if (!ParsePace(v, options.paceFactor)) return bad(v);
        } else if (arg == "--prompt-ms") {
            if (!value(v)) return false;
            if (!ParseCount(v, n, false) || n == 0 || n > 60000) return bad(v);
            options.promptMs = static_cast<unsigned>(n);
        } else if (arg == "--erase-us-per-kib" || arg == "--write-us-per-kib" ||
                   arg == "--copy-us-per-kib") {
            if (!value(v)) return false;
            if (!ParseCount(v, n, false) || n > 10'000'000) return bad(v);
            unsigned& target = arg == "--erase-us-per-kib"   ? options.eraseUsPerKiB
                               : arg == "--write-us-per-kib" ? options.writeUsPerKiB
                                                             : options.copyUsPerKiB;
            target = static_cast<unsigned>(n);
        } else if (arg == "--images") {
            if (!value(v)) return false;
            options.imagesDir = v;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--vanish-after") {
            if (!value(v)) return false;
            if (!ParseCount(v, n, true) || n == 0) return bad(v);
            options.vanishAfter = n;
        } else if (arg == "--silent-at") {
            if (!value(v)) return false;
            if (v.size() != 1 || kStageLetters.find(v[0]) == std::string_view::npos) return bad(v);
            options.faults.silentAt = v[0];
        } else if (arg == "--wrong-dram-check") {
            options.faults.wrongDramCheck = true;
        } else if (arg == "--wrong-data-check") {
            options.faults.wrongDataCheck = true;
        } else if (arg == "--corrupt-data") {
            options.faults.corruptData = true;
        } else if (arg == "--reject-hardware") {
            options.faults.rejectHardware = true;
        } else if (arg == "--noise") {
            if (!value(v)) return false;
            if (!ParseCount(v, n, false) || n > 4096) return bad(v);
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
