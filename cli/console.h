// What the command line needs of the operating system's console: the cancel keys (Ctrl+C, a
// termination request, a closed terminal) read as an event, and whether output goes to a
// terminal. One file per platform implements it.
#pragma once

#include <cstdio>

namespace pelorin::cli {

// Call first in main, before any thread starts. Until a CancelKeys object exists, a cancel
// key ends the program at once (nothing is open yet that needs closing); while one exists,
// it only tells the object. A closed output stream no longer kills the program, nor does a
// file-size limit: a write beyond it fails like a full disk.
void TakeOverCancelKeys();

bool IsTerminal(std::FILE* stream);
// The width of the terminal `stream` writes to; 0 when it is none or does not say.
unsigned TerminalColumns(std::FILE* stream);
// Whether the terminal changed its size since the last look; never waits.
bool TerminalResized();

// Tells whether a cancel key was pressed since the last look; never waits.
class CancelKeys {
  public:
    CancelKeys();
    ~CancelKeys();
    CancelKeys(const CancelKeys&) = delete;
    CancelKeys& operator=(const CancelKeys&) = delete;
    bool Pressed();
    // Whether a cancel key is waiting to be read by Pressed; leaves it there.
    bool Pending() const;
};

}  // namespace pelorin::cli
