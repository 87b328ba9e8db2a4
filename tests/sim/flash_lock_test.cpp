// One simulated board per flash file: the second taker of a flash is told it is busy, until
// the first lets go.
#include <gtest/gtest.h>

#include "sim/flash_lock.h"
#include "tests/config/temp_dir.h"

namespace pelorin::sim {
namespace {

TEST(FlashLock, ASecondBoardOnOneFlashIsBusy) {
    testing::TempDir dir;
    const std::string flash = (dir / "flash.bin").string();
    std::string error;
    std::optional<FlashLock> first = FlashLock::Take(flash, error);
    ASSERT_TRUE(first) << error;
    EXPECT_FALSE(FlashLock::Take(flash, error));
    EXPECT_EQ(error, "the simulated board is busy: its flash file " + flash +
                         " is in use by another simulated board");
    EXPECT_TRUE(FlashLock::Take((dir / "other.bin").string(), error)) << error;
    first.reset();
    EXPECT_TRUE(FlashLock::Take(flash, error)) << error;
    EXPECT_FALSE(FlashLock::Take((dir / "missing" / "flash.bin").string(), error));
    EXPECT_EQ(error.rfind("can't open the flash lock ", 0), 0u) << error;
}

}  // namespace
}  // namespace pelorin::sim
