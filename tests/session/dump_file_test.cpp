// The Dump's output file: names of every legal length, and what a finished dump leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "session/dump_file.h"
#include "tests/config/temp_dir.h"

namespace pelorin {
namespace {

using testing::TempDir;

std::set<std::string> Entries(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// A name of the longest legal length dumps, its cut-short dump keeps a partial file under a
// name that fits, and a whole dump then removes it: only the target is left.
TEST(DumpFile, LongestNamesAndTheOlderPartial) {
    TempDir dir;
    const uint8_t bytes[] = {1, 2, 3};
    const std::string shortName = "out.bin";
    const std::string longName(255, 'n');
    const std::string cutPartial = std::string(247, 'n') + kPartialSuffix;
    for (const std::string& name : {shortName, longName}) {
        SCOPED_TRACE(name.size());
        const std::string target = (dir / name).string();
        const std::string partial = name == shortName ? name + kPartialSuffix : cutPartial;
        DumpFile file;
        std::string error;
        ASSERT_TRUE(file.Create(target, &error)) << error;
        ASSERT_TRUE(file.Write(bytes, 2));
        file.Close();
        EXPECT_EQ(file.KeptPath(), (dir / partial).string());
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{partial});

        ASSERT_TRUE(file.Create(target, &error)) << error;
        ASSERT_TRUE(file.Write(bytes, 3));
        ASSERT_TRUE(file.Complete());
        EXPECT_EQ(file.KeptPath(), target);
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{name});
        EXPECT_EQ(std::filesystem::file_size(target), 3u);
        std::filesystem::remove(target);
    }
}

}  // namespace
}  // namespace pelorin
