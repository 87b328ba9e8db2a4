// The line-settings text parser.
#include <gtest/gtest.h>

#include "serial/line_settings.h"

namespace pelorin {
namespace {

TEST(LineSettingsTest, ParsesTheFormsTheWindowsParserTakes) {
    struct Case {
        const char* text;
        uint32_t baud;
        char parity;
        int dataBits;
        int stopHalves;
    };
    const Case accepted[] = {
        {"9600,n,8,1", 9600, 'n', 8, 2},        {"38400,n,8,1", 38400, 'n', 8, 2},
        {"57600,n,8,1", 57600, 'n', 8, 2},      {"115200,n,8,1", 115200, 'n', 8, 2},
        {"19200,E,7,2", 19200, 'e', 7, 4},      {"110,o,5,1.5", 110, 'o', 5, 3},
        {"96,m,6,1", 9600, 'm', 6, 2},          {"11,s,8,1", 110, 's', 8, 2},
        {" 19 , n , 8 , 1 ", 19200, 'n', 8, 2}, {"2400,n,8,1,x", 2400, 'n', 8, 2},
        {"2400,n,8,1,P", 2400, 'n', 8, 2},      {"14400,n,8,1", 14400, 'n', 8, 2},
    };
    for (const Case& c : accepted) {
        SCOPED_TRACE(c.text);
        LineSettings s;
        ASSERT_TRUE(ParseLineSettings(c.text, s));
        EXPECT_EQ(s.baud, c.baud);
        EXPECT_EQ(s.parity, c.parity);
        EXPECT_EQ(s.dataBits, c.dataBits);
        EXPECT_EQ(s.stopHalves, c.stopHalves);
    }

    // Fields left out or empty keep what was there.
    LineSettings s{1200, 'e', 7, 4};
    ASSERT_TRUE(ParseLineSettings("4800", s));
    EXPECT_EQ(s.baud, 4800u);
    EXPECT_EQ(s.parity, 'e');
    ASSERT_TRUE(ParseLineSettings("4800,,8", s));
    EXPECT_EQ(s.parity, 'e');
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopHalves, 4);

    const char* rejected[] = {"",
                              ",n,8,1",
                              "fast,n,8,1",
                              "0,n,8,1",
                              "9600,q,8,1",
                              "9600,no,8,1",
                              "9600,n,4,1",
                              "9600,n,9,1",
                              "9600,n,8,3",
                              "9600,n,8,1.0",
                              "9600,n,8,1,z",
                              "9600,n,8,1,x,1",
                              "-9600,n,8,1",
                              "9600;n;8;1",
                              "1234567890,n,8,1"};
    for (const char* text : rejected) {
        SCOPED_TRACE(text);
        LineSettings before{1200, 'e', 7, 4};
        LineSettings after = before;
        EXPECT_FALSE(ParseLineSettings(text, after));
        EXPECT_EQ(after.baud, before.baud);  // untouched on failure
        EXPECT_EQ(after.parity, before.parity);
    }
}

}  // namespace
}  // namespace pelorin
