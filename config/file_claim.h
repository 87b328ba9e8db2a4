// A claim on a file that other processes can see, without keeping them from reading it: the
// layout helper holds one on the saved layout text while it waits for the program to end, so
// that a program started meanwhile keeps the text instead of clearing it away. One file per
// platform implements it (an advisory lock).
#pragma once

#include <filesystem>
#include <memory>

namespace pelorin {

class FileClaim {
  public:
    // Claims the existing file `path`; null when it cannot be opened or another holds it.
    static std::unique_ptr<FileClaim> Take(const std::filesystem::path& path);
    ~FileClaim();
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;

  private:
    struct Handle;
    explicit FileClaim(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> handle_;
};

// True when another process holds a claim on `path`.
bool FileClaimed(const std::filesystem::path& path);

}  // namespace pelorin
