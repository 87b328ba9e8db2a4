// A claim on a file that other processes can see, without keeping them from reading it: the
// layout helper holds one on the saved layout text while it waits for the program to end, so
// that a program started meanwhile keeps the text instead of clearing it away; a simulated
// board holds one on its flash's lock file. One file per platform implements it (an advisory
// lock, dropped by the system when the holder ends, however it ends).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace pelorin {

class FileClaim {
  public:
    // Claims the existing file `path`; null when it cannot be opened or another holds it.
    static std::unique_ptr<FileClaim> Take(const std::filesystem::path& path);
    // Why a claim was not had: another holds it, or the file could not be opened or locked.
    enum class Failure { None, Busy, CannotOpen, CannotLock };
    // Claims `path`, created when missing (a lock file). Null when it cannot be claimed, with
    // `failure` saying why and `error` the system's text for the last two.
    static std::unique_ptr<FileClaim> TakeCreating(const std::filesystem::path& path,
                                                   Failure& failure, std::string& error);
    ~FileClaim();
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;

  private:
    struct Handle;
    explicit FileClaim(std::unique_ptr<Handle> handle);
    static std::unique_ptr<FileClaim> Claim(const std::filesystem::path& path, bool create,
                                            Failure& failure, std::string& error);
    std::unique_ptr<Handle> handle_;
};

// True when another process holds a claim on `path`.
bool FileClaimed(const std::filesystem::path& path);

}  // namespace pelorin
