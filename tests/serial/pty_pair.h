// A pseudo-terminal pair for the port tests: the port under test opens the slave by its path,
// the test plays the far end on the master.
#pragma once

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace pelorin::test {

class PtyPair {
  public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) path_ = name;
    }
    ~PtyPair() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    int master() const { return master_; }
    // Kept open so that the terminal survives the port's closes; also lets the test ask how
    // many bytes wait in the port's input queue.
    int slave() const { return slave_; }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    bool Send(const std::vector<uint8_t>& bytes) const {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Bytes waiting to be read at the port's end.
    int Queued() const {
        int n = 0;
        return ::ioctl(slave_, FIONREAD, &n) == 0 ? n : -1;
    }

    // Waits (bounded only against a hang) until the port's end holds at least `count` bytes.
    bool WaitQueued(int count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Queued() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Reads `count` bytes at the far end; fewer if nothing comes for `idle`.
    std::vector<uint8_t> Receive(size_t count,
                                 std::chrono::milliseconds idle = std::chrono::seconds(10)) const {
        std::vector<uint8_t> got;
        uint8_t buffer[4096];
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(idle.count())) <= 0) break;
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace pelorin::test
