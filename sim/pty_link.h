// The board's end of the line: a pseudo-terminal master, the host opens the slave. Knows
// whether the host has the port open and at what speed it set it.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pelorin::sim {

class PtyLink {
  public:
    PtyLink() = default;
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;
    ~PtyLink() { Close(); }

    // Creates the pseudo-terminal (raw, 115200) and, when `linkPath` is not empty, a symbolic
    // link to its slave (replacing an existing link, never a regular file).
    bool Open(const std::string& linkPath, std::string& error);
    // Closes the master (the host sees a hang-up) and removes the link.
    void Close();

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }
    // True while some process has the slave open.
    bool HostPresent() const;
    // The speed the host set on its side; 0 when unknown.
    unsigned HostBaud() const;
    // Non-blocking; the count moved, 0 when nothing could move, -1 on an error.
    ssize_t Read(uint8_t* buffer, size_t length);
    ssize_t Write(const uint8_t* data, size_t length);
    // Drops whatever the host wrote and the board has not read yet; returns the count.
    size_t DiscardInput();

  private:
    int master_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

// The baud rate of a termios speed constant; 0 for one we do not know.
unsigned BaudOfSpeed(unsigned speed);

}  // namespace pelorin::sim
