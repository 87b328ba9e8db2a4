// Creating files inside the working tree without following links planted there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "config/system_error.h"

namespace pelorin {

// A new file opened for writing. Closing it reports whether every write reached the file.
class OutFile {
  public:
    // Removes whatever entry is at `path` (a link is removed, never followed) and creates a
    // new file there with `mode` (0600 by default). nullopt, with `error` set, on failure.
    static std::optional<OutFile> CreateReplacing(const std::filesystem::path& path,
                                                  std::string* error, unsigned mode = 0600);
    // Creates a new private file (0600) at `path`; fails when any entry is there already, so
    // nothing planted in a shared folder is opened or written through.
    static std::optional<OutFile> CreateNew(const std::filesystem::path& path, std::string* error);

    OutFile(OutFile&& other) noexcept;
    OutFile& operator=(OutFile&& other) noexcept;
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    ~OutFile();

    bool Write(std::span<const uint8_t> bytes);
    // Flushes and closes; false when a write or the close failed.
    bool Close();

  private:
    explicit OutFile(intptr_t handle) : handle_(handle) {}
    intptr_t handle_ = -1;
    bool failed_ = false;
};

}  // namespace pelorin
