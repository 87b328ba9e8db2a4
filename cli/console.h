// What the command line needs of the operating system's console: the cancel keys (Ctrl+C and
// a termination request) read as an event, and whether output goes to a terminal. One file per
// platform implements it.
#pragma once

#include <cstdio>
#include <memory>

namespace pelorin::cli {

// Stops the platform from killing the process on Ctrl+C, so the operation can cancel cleanly.
// Call first in main, before any thread starts.
void TakeOverCancelKeys();

bool IsTerminal(std::FILE* stream);

// Tells whether a cancel key was pressed since the last look; never waits.
class CancelKeys {
public:
    CancelKeys();
    ~CancelKeys();
    CancelKeys(const CancelKeys&) = delete;
    CancelKeys& operator=(const CancelKeys&) = delete;
    bool Pressed();

private:
    int fd_ = -1;
};

}  // namespace pelorin::cli
