// The output file of a Dump. The bytes go to a new private file, under a short name of its
// own, in the target's folder; only a section that arrived whole replaces the target, so a
// failed dump never destroys an earlier good file, and removes an older "<target>.partial".
// Anything less is kept as "<target>.partial" (the target's name cut when the whole would be
// too long for a folder entry). The requester creates it, the worker writes and closes it;
// every call is safe from either thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "config/file_io.h"

namespace pelorin {

inline constexpr const char* kPartialSuffix = ".partial";

class DumpFile {
  public:
    ~DumpFile() { Close(); }

    // A new private file beside `target`; false with `error` set when it cannot be made.
    bool Create(const std::string& target, std::string* error = nullptr);
    // False on a write failure (the file is closed then, the partial kept) or when closed.
    bool Write(const uint8_t* data, size_t length);
    // The whole section arrived: the file replaces the target. False when that fails; what
    // was written is then kept as the partial file.
    bool Complete();
    // Ends the file short: what arrived stays as "<target>.partial"; an empty file is removed.
    void Close();

    bool IsOpen() const;
    bool Failed() const;  // a write or the final rename failed
    // Waits until the file is closed; false when it is still open after `timeout`.
    bool WaitClosed(std::chrono::milliseconds timeout) const;
    uint64_t Bytes() const;
    // Where the bytes of the last file are now: the target, the partial file, or empty.
    std::string KeptPath() const;
    // The system's reason for the last failure.
    std::string Error() const;

  private:
    void KeepPartialLocked();

    mutable std::mutex mutex_;
    mutable std::condition_variable closed_;
    std::optional<OutFile> file_;
    std::string target_;
    std::string tempPath_;
    std::string keptPath_;
    std::string error_;
    uint64_t bytes_ = 0;
    bool failed_ = false;
};

}  // namespace pelorin
