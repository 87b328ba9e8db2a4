// The line-settings text as the port parses it: on every platform.
#include <tuple>

#include <gtest/gtest.h>

#include "serial/line_settings.h"

namespace pelorin {
namespace {

auto Fields(const LineSettings& s) {
    return std::make_tuple(s.baud, s.parity, int(s.dataBits), int(s.stopHalves));
}

TEST(LineSettingsTest, ParsesTheFormsTheWindowsParserTakes) {
    struct Case {
        const char* text;
        LineSettings parsed;
    };
    const Case accepted[] = {
        {"19200,E,7,2", {19200, 'e', 7, 4}},
        {"110,o,5,1.5", {110, 'o', 5, 3}},
        {"11,s,8,1", {110, 's', 8, 2}},
        {" 19 , n , 8 , 1 ", {19200, 'n', 8, 2}},
        {"2400,n,8,1,P", {2400, 'n', 8, 2}},
        {"14400,n,8,1", {14400, 'n', 8, 2}},
        // Fields left out or empty keep what was there.
        {"4800", {4800, 'e', 7, 4}},
        {"4800,,8", {4800, 'e', 8, 4}},
    };
    for (const Case& c : accepted) {
        LineSettings s{1200, 'e', 7, 4};
        EXPECT_TRUE(ParseLineSettings(c.text, s)) << c.text;
        EXPECT_EQ(Fields(s), Fields(c.parsed)) << c.text;
    }
    for (const char* text :
         {"", ",n,8,1", "fast,n,8,1", "0,n,8,1", "9600,q,8,1", "9600,no,8,1", "9600,n,4,1",
          "9600,n,9,1", "9600,n,8,3", "9600,n,8,1.0", "9600,n,8,1,z", "9600,n,8,1,x,1",
          "-9600,n,8,1", "9600;n;8;1", "1234567890,n,8,1"}) {
        LineSettings s{1200, 'e', 7, 4};
        EXPECT_FALSE(ParseLineSettings(text, s)) << text;
        EXPECT_EQ(Fields(s), Fields(LineSettings{1200, 'e', 7, 4}))
            << "untouched on failure: " << text;
    }
}

}  // namespace
}  // namespace pelorin
