// The simulated board inside the host's process, listed as a local device: the engine's whole
// Download and Dump through the port a Board makes by itself, without any line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "../session/whole_operation.h"
#include "serial/comm.h"
#include "serial/local_devices.h"
#include "session/operation.h"
#include "sim/local_board.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace pelorin::testing;

TEST(LocalBoard, DownloadThenDumpThroughTheBoardsOwnPort) {
    const fs::path dir = fs::temp_directory_path() /
                         ("pelorin-local-board-" +
                          std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir);
    const std::string image((20000), 'x');
    std::ofstream(dir / "image.bin", std::ios::binary) << image;

    sim::TargetConfig config;
    sim::LocalBoardOptions options;
    options.paceFactor = 0;
    options.flashPath = (dir / "flash.bin").string();
    sim::LocalBoard local(std::move(config), options);
    {
        // Without a registration a board gets the system's port as before.
        PortNameTable names;
        const auto port = MakeBoardPort(names);
        EXPECT_EQ(BoardSystemPort(*port), dynamic_cast<const cnComm*>(port.get()));
        EXPECT_NE(BoardSystemPort(*port), nullptr);
    }
    LocalDeviceRegistration listed("local:board", local);

    MessageQueue queue;
    QueueSink sink(queue);
    NotingPrompt prompt;
    TargetImages images;
    Board board(sink, prompt, images);
    const unsigned port = board.Shared().portNames.NumberFor("local:board");
    ASSERT_NE(port, 0u);

    EndView download;
    EXPECT_EQ(RunOnLogo(board, queue, port, "simulated board", OperationKind::Download,
                        (dir / "image.bin").string(), download),
              Outcome::Completed)
        << download.text << download.timeouts << prompt.shown;
    EXPECT_EQ(download.stages, "UABSVDKHIO");
    EXPECT_EQ(local.Operations(), 1u);

    EndView dump;
    EXPECT_EQ(RunOnLogo(board, queue, port, "simulated board", OperationKind::Dump,
                        (dir / "dump.bin").string(), dump),
              Outcome::Completed)
        << dump.text << dump.timeouts << prompt.shown;
    std::ifstream in(dir / "dump.bin", std::ios::binary);
    const std::string dumped((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    ASSERT_EQ(dumped.size(), 0x8000u);
    EXPECT_EQ(dumped.substr(0, image.size()), image);
    EXPECT_EQ(dumped.substr(image.size()), std::string(0x8000 - image.size(), '\xFF'));
    // The flash file follows every operation.
    EXPECT_EQ(fs::file_size(dir / "flash.bin"), local.Flash().size());

    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace pelorin
