// A file of records that several processes append to (the production line's log): opened and
// checked once before any record is due, then one whole record per append under an advisory
// lock, on disk before the call returns. One file per platform implements the file itself;
// the lock's wait is shared.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

class AppendFile {
  public:
    // Opens `path` for appending, creating it when missing. Refused, with `error` set: anything
    // but a regular file (a directory, FIFO, device), a last path part that is a symbolic link
    // owned by another user (it could lead into that user's private file), and the file
    // `notThis` names (the download file itself).
    static std::optional<AppendFile> Open(const std::filesystem::path& path,
                                          const std::filesystem::path& notThis, std::string& error);

    AppendFile(AppendFile&& other) noexcept;
    AppendFile& operator=(AppendFile&& other) noexcept;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    // Appends `record` in one write; `header` goes before it when the file is empty, a line end
    // when its last line has none. A write that fails or falls short is cut back off, so the
    // file never ends in part of a record. Waits for the lock at most `lockWait`, and no
    // longer once `stop` returns true. Error text, empty on success.
    std::string Append(std::string_view header, std::string_view record,
                       std::chrono::milliseconds lockWait, const std::function<bool()>& stop = {});

    const std::filesystem::path& Path() const { return path_; }

  private:
    AppendFile(intptr_t handle, std::filesystem::path path)
        : handle_(handle), path_(std::move(path)) {}
    std::string ErrorText(const char* what) const;

    enum class LockTry { Taken, Busy, Failed };
    // Calls `tryLock` every poll until it takes the lock or fails, `stop` holds or `lockWait`
    // passes. Error text, empty once the lock is taken.
    std::string WaitForLock(const std::function<LockTry()>& tryLock,
                            std::chrono::milliseconds lockWait,
                            const std::function<bool()>& stop) const;

    intptr_t handle_ = -1;
    std::filesystem::path path_;
};

}  // namespace pelorin
