// The time-out watchdog: its count, the holding stages, the wrap and the message texts.
#include <gtest/gtest.h>

#include "session/watchdog.h"

namespace pelorin {
namespace {

int TicksUntilMessage(Watchdog& w, int limit = 1000) {
    for (int i = 1; i <= limit; ++i)
        if (w.Tick()) return i;
    return -1;
}

TEST(Watchdog, FiresAfterSixteenSilentTicksAndAgainEvery256) {
    Watchdog w;
    EXPECT_EQ(TicksUntilMessage(w, 300), -1);  // not armed before the first stage
    w.OnSessionUpdate(0, 'U');
    EXPECT_EQ(TicksUntilMessage(w), 16);
    EXPECT_EQ(TicksUntilMessage(w), 256);
    // Progress alone keeps it quiet, whatever the stage.
    w.OnSessionUpdate(0, 'G');
    for (int i = 0; i < 100; ++i) {
        for (int k = 0; k < 15; ++k) EXPECT_FALSE(w.Tick());
        w.OnSessionUpdate(2, i % 100);
    }
    EXPECT_EQ(TicksUntilMessage(w), 16);
}

TEST(Watchdog, HoldsAfterDataSendAndEndings) {
    for (char stage : {'K', 'O', 'N', 'P'}) {
        Watchdog w;
        w.OnSessionUpdate(0, 'D');
        w.OnSessionUpdate(0, stage);
        w.OnSessionUpdate(1, 30);  // progress does not re-arm a held watchdog
        EXPECT_EQ(TicksUntilMessage(w, 600), -1) << stage;
    }
    Watchdog w;
    w.OnSessionUpdate(0, 'K');
    w.OnSessionUpdate(0, 'H');
    EXPECT_EQ(TicksUntilMessage(w), 16);
    w.Stop();
    EXPECT_EQ(TicksUntilMessage(w, 600), -1);
}

TEST(Watchdog, MessageNamesTheStage) {
    const std::string head =
        "Time Out(85),please check:\n   1. Cable is connected correctly.\n   2. Target board is power on.\n";
    EXPECT_EQ(TimeoutMessageText('U'),
              head + "   3. The chip is not working properly,May be the chip type selection is not "
                     "correct.(Bootloader is not running)\n");
    EXPECT_NE(TimeoutMessageText('A').find("(Bootloader is already running)\n"), std::string::npos);
    EXPECT_NE(TimeoutMessageText('S').find("memory type or the memory size"), std::string::npos);
    EXPECT_NE(TimeoutMessageText('F').find("May be the memory size selection"), std::string::npos);
    EXPECT_NE(TimeoutMessageText('I').find("   3. Flash is not working properly.\n"), std::string::npos);
    for (char stage : {'B', 'V', 'D', 'G'}) {
        std::string text = TimeoutMessageText(stage);
        EXPECT_EQ(text.find("   3."), std::string::npos) << stage;
        EXPECT_EQ(text.rfind("   2. Target board is power on.\n"), text.size() - 32) << stage;
    }
    EXPECT_EQ(TimeoutMessageText('B').substr(0, 13), "Time Out(66),");
}

}  // namespace
}  // namespace pelorin
