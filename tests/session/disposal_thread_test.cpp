// The worker thread: its message map, the open and stop requests, and its shutdown.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <unistd.h>

#include "session/disposal_thread.h"
#include "session/messages.h"

namespace pelorin {
namespace {

// A port that records opens and reads, safe to inspect after the worker has ended.
class CountingPort final : public ISerialPort {
public:
    struct Log {
        std::mutex mutex;
        std::vector<std::pair<unsigned, std::string>> opens;
        int reads = 0;
        int closes = 0;
        std::set<unsigned> refuse;  // port numbers whose open fails
    };
    explicit CountingPort(Log& log) : log_(log) {}
    bool Open(unsigned port, const char* settings) override {
        std::lock_guard lock(log_.mutex);
        log_.opens.emplace_back(port, settings);
        open_ = !log_.refuse.count(port) && port >= 1 && port <= 1024;
        return open_;
    }
    void Close() override {
        std::lock_guard lock(log_.mutex);
        if (open_) ++log_.closes;
        open_ = false;
    }
    bool IsOpen() const override { return open_; }
    unsigned Read(uint8_t*, unsigned, unsigned) override {
        std::lock_guard lock(log_.mutex);
        ++log_.reads;
        return 0;
    }
    unsigned Write(const uint8_t*, unsigned length) override { return length; }
    void SetNotifyTarget(MessageQueue* target) override { target_ = target; }
    MessageQueue* target_ = nullptr;

private:
    Log& log_;
    bool open_ = false;
};

class NullSink final : public ISessionSink {
public:
    void Post(uint32_t, uint64_t, int64_t) override {}
    void Beep() override {}
};

class CountingPrompt final : public IOperatorPrompt {
public:
    PromptAnswer Show(const PromptRequest& r) override {
        std::lock_guard lock(mutex);
        texts.push_back(r.caption + ": " + r.text);
        return PromptAnswer::Ok;
    }
    std::mutex mutex;
    std::vector<std::string> texts;
};

struct Worker {
    Worker() {
        auto p = std::make_unique<CountingPort>(log);
        port = p.get();
        thread = std::make_unique<CDisposalThread>(std::move(p), shared, sink, prompt, images);
        thread->Start();
        while (!shared.HasWorker()) std::this_thread::yield();
    }
    // Posts an open request and waits for its result, as a requester does.
    uint8_t Open(unsigned crystal, int64_t portNumber) {
        shared.SetOpenResult(kOpenPending);
        EXPECT_TRUE(shared.PostToWorker(WM_SESSION_OPEN_PORT, crystal, portNumber));
        return shared.WaitOpenResult(std::chrono::seconds(30));
    }
    CountingPort::Log log;
    CountingPort* port = nullptr;
    SharedState shared;
    NullSink sink;
    CountingPrompt prompt;
    TargetImages images;
    std::unique_ptr<CDisposalThread> thread;
};

TEST(DisposalThread, OpenRequestPicksSpeedByCrystalAndReportsUsableResult) {
    Worker w;
    EXPECT_EQ(w.Open(16000, 3), OpenResultFor(3));
    EXPECT_EQ(w.Open(13500, 3), OpenResultFor(3));
    EXPECT_EQ(w.Open(12345, 3), OpenResultFor(3));
    EXPECT_EQ(w.Open(27000, 3), OpenResultFor(3));
    for (unsigned port : {1u, 254u, 255u, 256u, 512u, 768u, 1024u}) {
        uint8_t result = w.Open(4000, port);
        EXPECT_NE(result, kOpenPending) << port;
        EXPECT_NE(result, kOpenFailed) << port;
    }
    EXPECT_EQ(w.Open(27000, 0), kOpenFailed);
    EXPECT_EQ(w.Open(27000, 1025), kOpenFailed);
    w.log.refuse.insert(9);
    EXPECT_EQ(w.Open(27000, 9), kOpenFailed);
    w.thread->Quit();
    EXPECT_EQ(w.log.opens[0], (std::pair<unsigned, std::string>{3, "57600,n,8,1"}));
    EXPECT_EQ(w.log.opens[1].second, "57600,n,8,1");
    EXPECT_EQ(w.log.opens[2].second, "9600,n,8,1");
    EXPECT_EQ(w.log.opens[3].second, "115200,n,8,1");
    EXPECT_EQ(w.prompt.texts, std::vector<std::string>(3, "Error: Can't open port!"));
    EXPECT_EQ(w.port->target_, &w.thread->Queue());
    EXPECT_FALSE(w.shared.HasWorker());
}

TEST(DisposalThread, StaleNotificationsAndStopRequests) {
    Worker w;
    ASSERT_NE(w.Open(27000, 5), kOpenFailed);
    ASSERT_NE(w.Open(27000, 6), kOpenFailed);
    w.shared.PostToWorker(WM_COMM_RXCHAR, 5, 0);  // queued from the old port: ignored
    w.shared.PostToWorker(WM_COMM_RXCHAR, 6, 0);
    w.shared.PostToWorker(WM_COMM_CTS, 6, 1);     // no handler: dropped
    // A failed open keeps the active port: its notifications are still read.
    w.log.refuse.insert(7);
    ASSERT_EQ(w.Open(27000, 7), kOpenFailed);
    w.shared.PostToWorker(WM_COMM_RXCHAR, 6, 0);
    w.shared.PostToWorker(WM_COMM_RXCHAR, 7, 0);

    // Stop during a cancelled dump closes the dump file once.
    auto path = std::filesystem::temp_directory_path() / ("pelorin-stop-" + std::to_string(::getpid()));
    ASSERT_TRUE(w.shared.dumpFile.Create(path.string()));
    w.shared.dumpCancel = true;
    w.shared.PostToWorker(WM_SESSION_STOP);
    w.shared.PostToWorker(WM_SESSION_STOP);  // with no port open: harmless
    w.thread->Quit();
    EXPECT_EQ(w.log.reads, 2);
    EXPECT_FALSE(w.shared.dumpFile.IsOpen());
    EXPECT_FALSE(w.port->IsOpen());
    std::filesystem::remove(path);
    // Requests after the end go nowhere.
    EXPECT_FALSE(w.shared.PostToWorker(WM_SESSION_STOP));
}

}  // namespace
}  // namespace pelorin
