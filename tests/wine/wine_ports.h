// The test's side of the COM port pair that pelorin-pty-bridge makes under Wine: the far end
// (a second COM port joined to the port under test) and the bridge's control files, through
// which the test asks what only the Linux side can see.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace pelorin::test {

// The port under test and the far end, as the bridge fixture links them.
inline constexpr unsigned kPortUnderTest = 40;
inline constexpr unsigned kFarEndPort = 41;

inline bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class Bridge {
  public:
    // The bridge keeps its control files in the prefix's folder pelorin-ports (WINEPREFIX is
    // a Linux path, reached through Wine's drive Z:). No prefix or no files: no bridge.
    Bridge() {
        const char* prefix = std::getenv("WINEPREFIX");
        if (!prefix || !*prefix) return;
        std::string base = std::string("Z:") + prefix + "/pelorin-ports";
        for (char& c : base)
            if (c == '/') c = '\\';
        ctl_ = CreateFileA((base + "\\ctl").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        rep_ = CreateFileA((base + "\\rep").c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    ~Bridge() {
        if (ctl_ != INVALID_HANDLE_VALUE) CloseHandle(ctl_);
        if (rep_ != INVALID_HANDLE_VALUE) CloseHandle(rep_);
    }
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    bool ok() const { return ctl_ != INVALID_HANDLE_VALUE && rep_ != INVALID_HANDLE_VALUE; }

    // One command, one line of answer (without its newline); empty on failure.
    std::string Ask(const std::string& command) {
        const std::string line = command + "\n";
        DWORD n = 0;
        if (!WriteFile(ctl_, line.data(), static_cast<DWORD>(line.size()), &n, nullptr)) return {};
        std::string answer;
        char c;
        while (ReadFile(rep_, &c, 1, &n, nullptr) && n == 1 && c != '\n') answer += c;
        return answer;
    }
    // Bytes waiting in the input queue of the port under test.
    int Queued() { return std::atoi(Ask("queued").c_str()); }
    // Waits (bounded only against a hang) until the port under test holds `count` bytes.
    bool WaitQueued(int count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Queued() < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

  private:
    HANDLE ctl_ = INVALID_HANDLE_VALUE;
    HANDLE rep_ = INVALID_HANDLE_VALUE;
};

// The far end: plain blocking I/O that only ever asks for bytes already there.
class FarEnd {
  public:
    FarEnd() {
        const std::string name = "\\\\.\\COM" + std::to_string(kFarEndPort);
        h_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
        if (h_ == INVALID_HANDLE_VALUE) return;
        COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 5000};
        SetCommTimeouts(h_, &t);
        PurgeComm(h_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    ~FarEnd() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

    bool Send(const std::vector<uint8_t>& bytes) {
        DWORD n = 0;
        return WriteFile(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
               n == bytes.size();
    }

    // Reads `count` bytes; fewer if nothing comes for `idle`.
    std::vector<uint8_t> Receive(size_t count,
                                 std::chrono::milliseconds idle = std::chrono::seconds(10)) {
        std::vector<uint8_t> got;
        auto lastByte = std::chrono::steady_clock::now();
        while (got.size() < count) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(h_, &errors, &status)) break;
            if (status.cbInQue == 0) {
                if (std::chrono::steady_clock::now() - lastByte > idle) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            std::vector<uint8_t> buffer(std::min<size_t>(status.cbInQue, count - got.size()));
            DWORD n = 0;
            if (!ReadFile(h_, buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) break;
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
            lastByte = std::chrono::steady_clock::now();
        }
        return got;
    }

  private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace pelorin::test
