// pelorin-sim's command line: values that do not fit are refused with the option's name.
#include <gtest/gtest.h>

#include "sim/sim_options.h"

namespace pelorin::sim::test {
namespace {

SimOptions Parse(std::vector<const char*> args, std::string& error) {
    args.insert(args.begin(), "pelorin-sim");
    SimOptions options;
    error.clear();
    const bool parsed = ParseSimOptions(static_cast<int>(args.size()), args.data(), options, error);
    EXPECT_EQ(parsed, error.empty());
    return options;
}

TEST(SimOptions, ValuesThatDoNotFitAreRefusedByName) {
    // Option, a blank, value. 2^64 + 1 KiB (18014398509481985K) must not wrap to 1 KiB.
    std::string error;
    for (std::string_view line :
         {"--flash-size 0", "--flash-size 18014398509481985K", "--flash-size 4097M",
          "--flash-size 99999999999999999999", "--flash-size  -1", "--flash-size 0x",
          "--vanish-after 0", "--vanish-after 17592186044417M", "--pace 1e-300", "--pace 1e300",
          "--pace nan", "--silent-at X", "--xtal 12", "--fill 256", "--noise 4097", "--prompt-ms 0",
          "--erase-us-per-kib 1000001", "--corrupt-flash-byte 4096M"}) {
        const std::string option(line.substr(0, line.find(' ')));
        const std::string value(line.substr(line.find(' ') + 1));
        Parse({option.c_str(), value.c_str()}, error);
        EXPECT_EQ(error.rfind(option + ": '" + value + "' is not ", 0), 0u) << error;
    }
    Parse({"--noise"}, error);
    EXPECT_EQ(error, "--noise needs a value");

    // The largest flash and the first byte are values that fit.
    SimOptions o = Parse({"--flash-size", "4096M", "--corrupt-flash-byte", "0"}, error);
    EXPECT_EQ(o.flashSize, size_t{1} << 32);
    EXPECT_EQ(o.faults.corruptFlashByte, 0u);
}

}  // namespace
}  // namespace pelorin::sim::test
