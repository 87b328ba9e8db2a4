// A program run as a child process with its output captured, for tests that drive the real
// programs. Every wait is bounded so that a hung program fails the test instead of hanging it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pelorin::testing {

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv);
    // As Start, with standard output on a pseudo-terminal of `columns` x `rows` (the test
    // reads what the terminal shows, line ends as CR LF).
    bool StartOnTerminal(const std::vector<std::string>& argv, unsigned short columns,
                         unsigned short rows);
    // The next line of standard output; none when the program ended or the time ran out.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Reads standard output until a line contains `text`; false on end or time-out.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    void Signal(int signal);
    // The terminal of StartOnTerminal takes a new size, and the program is told (SIGWINCH).
    void Resize(unsigned short columns, unsigned short rows);
    // The exit status (128 + signal when killed); -1 when it did not end in time (it is then
    // killed).
    int Wait(std::chrono::milliseconds timeout);

    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }

  private:
    bool Spawn(const std::vector<std::string>& argv, int outWrite, int outRead);
    // Reads what is available from both pipes, waiting at most `timeout`.
    void Pump(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    size_t lineStart_ = 0;
    int status_ = -1;
};

}  // namespace pelorin::testing
