// CPU time the port's monitor uses while the line is quiet: the port is opened, nothing is
// sent, and the process's CPU time over a few seconds is printed (the main thread only
// sleeps, so the time is the monitor's). Prints figures, asserts nothing.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "serial/comm.h"

namespace {

constexpr unsigned kDefaultPort = 40;
constexpr int kDefaultSeconds = 5;

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned port = argc > 1 ? unsigned(std::strtoul(argv[1], nullptr, 10)) : kDefaultPort;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : kDefaultSeconds;
    const char* label = argc > 3 ? argv[3] : "";

    pelorin::PortNameTable names;
    pelorin::MessageQueue queue;
    pelorin::cnComm comm(names);
    comm.SetNotifyTarget(&queue);
    if (!comm.Open(port, "115200,n,8,1")) {
        std::fprintf(stderr, "cannot open COM%u: %s\n", port, comm.LastError().c_str());
        return 1;
    }
    // Let the opening settle before measuring.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpuBefore = ProcessCpuMs();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuMs() - cpuBefore;
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallBefore)
            .count();
    const bool active = comm.MonitorActive();
    comm.Close();
    std::printf("monitor idle%s%s: %.1f ms CPU in %.0f ms (%.2f %% of one core), monitor %s\n",
                *label ? " " : "", label, cpu, wall, 100.0 * cpu / wall,
                active ? "running" : "ENDED");
    return 0;
}
