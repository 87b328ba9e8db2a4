// The worker thread: the open and stop requests, stale notifications, and its shutdown. The
// fakes record in the worker's thread; the test reads them only once the worker is joined.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>
#include <filesystem>

#include "session/disposal_thread.h"
#include "session_fakes.h"

namespace pelorin {
namespace {

struct Worker {
    Worker() {
        thread = std::make_unique<CDisposalThread>(std::unique_ptr<ISerialPort>(port), shared,
                                                   timeline, timeline, images);
        thread->Start();
        while (!shared.HasWorker()) std::this_thread::yield();
    }
    // Posts an open request and waits for its result, as a requester does.
    uint8_t Open(unsigned crystal, int64_t portNumber) {
        shared.SetOpenResult(kOpenPending);
        EXPECT_TRUE(shared.PostToWorker(WM_SESSION_OPEN_PORT, crystal, portNumber));
        return shared.WaitOpenResult(std::chrono::seconds(30));
    }
    testing::Timeline timeline;
    testing::FakePort* port = new testing::FakePort(timeline);  // owned by the worker
    SharedState shared;
    TargetImages images;
    std::unique_ptr<CDisposalThread> thread;
};

// Ports 1..1024 open with a result that is never "pending" or "failed"; anything else fails
// with one message each.
TEST(DisposalThread, OpenRequestsAndTheirResults) {
    Worker w;
    w.port->refuse.insert(9);
    EXPECT_EQ(w.Open(27000, 3), OpenResultFor(3));
    EXPECT_EQ(w.Open(12345, 3), OpenResultFor(3));  // a crystal without its own speed
    for (unsigned port : {1u, 253u, 254u, 255u, 1024u}) {
        const uint8_t result = w.Open(27000, port);
        EXPECT_EQ(result, OpenResultFor(port)) << port;
        EXPECT_TRUE(result != kOpenPending && result != kOpenFailed) << port;
    }
    for (int64_t bad : {0, 1025, 9}) EXPECT_EQ(w.Open(27000, bad), kOpenFailed) << bad;
    w.thread->Quit();
    auto opens = w.timeline.Of(testing::Event::Open, &testing::Event::text);
    ASSERT_GE(opens.size(), 2u);
    EXPECT_EQ(opens[0], "115200,n,8,1");
    EXPECT_EQ(opens[1], "9600,n,8,1");
    EXPECT_EQ(w.timeline.Of(testing::Event::Open, &testing::Event::ms)[0], 3u);
    EXPECT_EQ(w.timeline.Prompts(), std::vector<std::string>(3, "Error: Can't open port!"));
    EXPECT_FALSE(w.shared.HasWorker());
    EXPECT_FALSE(w.shared.PostToWorker(WM_SESSION_STOP));  // requests after the end go nowhere
}

TEST(DisposalThread, StaleNotificationsStopAndLostPort) {
    Worker w;
    ASSERT_NE(w.Open(27000, 5), kOpenFailed);
    ASSERT_NE(w.Open(27000, 6), kOpenFailed);
    w.shared.PostToWorker(WM_COMM_RXCHAR, 5, 0);  // queued from the old port: ignored
    w.shared.PostToWorker(WM_COMM_RXCHAR, 6, 0);
    w.shared.PostToWorker(WM_COMM_CTS, 6, 1);  // no handler: dropped
    // A failed open keeps the active port: its notifications are still read.
    w.port->refuse.insert(7);
    ASSERT_EQ(w.Open(27000, 7), kOpenFailed);
    w.shared.PostToWorker(WM_COMM_RXCHAR, 6, 0);
    w.shared.PostToWorker(WM_COMM_RXCHAR, 7, 0);

    // Stop during a cancelled dump closes the dump file; a second stop is harmless.
    auto path =
        std::filesystem::temp_directory_path() / ("pelorin-stop-" + std::to_string(::getpid()));
    ASSERT_TRUE(w.shared.dumpFile.Create(path.string()));
    w.shared.dumpCancel = true;
    w.shared.PostToWorker(WM_SESSION_STOP);
    w.shared.PostToWorker(WM_SESSION_STOP);
    ASSERT_NE(w.Open(27000, 8), kOpenFailed);  // the stops were handled before this
    EXPECT_FALSE(w.shared.dumpFile.IsOpen());

    // A lost-device notice from an earlier opening is stale; the active port's is reported once.
    w.shared.PostToWorker(WM_COMM_GONE, 6, EIO);
    w.shared.PostToWorker(WM_COMM_GONE, 8, EIO);
    w.shared.PostToWorker(WM_COMM_GONE, 8, EIO);
    w.thread->Quit();
    EXPECT_EQ(w.port->readCalls, 2);
    EXPECT_FALSE(w.port->IsOpen());
    EXPECT_EQ(w.timeline.Posts(),
              (std::vector<std::array<int64_t, 3>>{{WM_SESSION_PORT_LOST, 8, EIO}}));
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace pelorin
