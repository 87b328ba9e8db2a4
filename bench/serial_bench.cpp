// Serial link figures on a pseudo-terminal: notification latency (byte written at the far end
// to Read returning it) and the CPU time the port's monitor uses idle and under a steady stream.
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "serial/comm.h"
#include "serial/comm_messages.h"

using namespace std::chrono;
using pelorin::cnComm;
using pelorin::Message;
using pelorin::MessageQueue;

namespace {

constexpr unsigned kPort = 200;
constexpr int kLatencySamples = 2000;
constexpr auto kMeasurePeriod = seconds(5);
constexpr int kStreamChunkBytes = 64;
constexpr auto kStreamChunkGap = microseconds(5556);  // 64 bytes every 5.6 ms: 115200 baud
constexpr unsigned kReadBytes = 10240;                // what the session reads per notification
constexpr unsigned kReadTimeoutMs = 10;

double CpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

bool WaitReceive(MessageQueue& queue) {
    Message m;
    while (queue.GetFor(m, seconds(5)))
        if (m.id == pelorin::WM_COMM_RXCHAR) return true;
    return false;
}

}  // namespace

int main() {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    pelorin::PortNameTable names;
    names.Assign(kPort, name);
    MessageQueue queue;
    cnComm port(names);
    port.SetNotifyTarget(&queue);
    if (!port.Open(kPort, "115200,n,8,1")) {
        std::fprintf(stderr, "open failed: %s\n", port.LastError().c_str());
        return 1;
    }
    std::printf("device %s as COM%u\n", name, kPort);

    // Latency: one byte at a time, the way the boot ROM's prompt arrives.
    std::vector<double> latencyUs;
    uint8_t buffer[kReadBytes];
    for (int i = 0; i < kLatencySamples; ++i) {
        const uint8_t byte = static_cast<uint8_t>(i);
        const auto start = steady_clock::now();
        if (write(master, &byte, 1) != 1) return 1;
        unsigned got = 0;
        while (got == 0) {
            if (!WaitReceive(queue)) {
                std::fprintf(stderr, "no notification\n");
                return 1;
            }
            got = port.Read(buffer, kReadBytes, kReadTimeoutMs);
        }
        latencyUs.push_back(duration<double, std::micro>(steady_clock::now() - start).count());
    }
    std::printf("notification latency over %d bytes: median %.1f us, 99th percentile %.1f us\n",
                kLatencySamples, Percentile(latencyUs, 0.5), Percentile(latencyUs, 0.99));

    // Idle: this thread sleeps, so the process's CPU time is the monitor's.
    const double idleStart = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    std::this_thread::sleep_for(kMeasurePeriod);
    std::printf("monitor CPU while idle for %lld s: %.3f ms\n",
                static_cast<long long>(duration_cast<seconds>(kMeasurePeriod).count()),
                CpuMs(CLOCK_PROCESS_CPUTIME_ID) - idleStart);

    // Stream: a sender thread plays the target; this thread is the worker. The monitor's share
    // is the process's time less the two threads' own.
    std::atomic<bool> sending{true};
    std::atomic<double> senderCpu{0};
    long long bytesReceived = 0, notifications = 0;
    const double streamStart = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double workerStart = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    std::thread sender([&] {
        const double own = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        uint8_t chunk[kStreamChunkBytes] = {};
        auto next = steady_clock::now();
        while (sending.load()) {
            if (write(master, chunk, sizeof chunk) < 0) break;
            next += kStreamChunkGap;
            std::this_thread::sleep_until(next);
        }
        senderCpu.store(CpuMs(CLOCK_THREAD_CPUTIME_ID) - own);
    });
    const auto end = steady_clock::now() + kMeasurePeriod;
    Message m;
    while (steady_clock::now() < end) {
        if (!queue.GetFor(m, milliseconds(100)) || m.id != pelorin::WM_COMM_RXCHAR) continue;
        ++notifications;
        bytesReceived += port.Read(buffer, kReadBytes, kReadTimeoutMs);
    }
    sending.store(false);
    sender.join();
    const double workerCpu = CpuMs(CLOCK_THREAD_CPUTIME_ID) - workerStart;
    const double processCpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - streamStart;
    std::printf(
        "stream of %lld bytes in 5 s (%lld notifications): monitor CPU %.1f ms "
        "(process %.1f ms, worker %.1f ms, sender %.1f ms)\n",
        bytesReceived, notifications, processCpu - workerCpu - senderCpu.load(), processCpu,
        workerCpu, senderCpu.load());

    port.Close();
    close(master);
    close(slave);
    return 0;
}
