// The working directory tree: a private directory per user, below it one directory per running
// instance (`tempDir`), and in that the working files under the names the tool has always used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pelorin {

inline constexpr const char* kOuterWorkDirName = "_res_tmp";
inline constexpr const char* kInnerWorkDirName = "_res_tmp";
inline constexpr const char* kLayoutFileName = "_Kestrun.tmp";
inline constexpr const char* kDataFileName = "_downloadres.tmp";
inline constexpr const char* kLayoutHelperName = "_tmp_command.exe";
inline constexpr const char* kSavedLayoutTextName = "_tmp_flash.txt";

struct WorkPaths {
    std::filesystem::path tempDir;       // this instance's private directory
    std::filesystem::path outerDir;      // tempDir/_res_tmp
    std::filesystem::path innerDir;      // tempDir/_res_tmp/_res_tmp
    std::filesystem::path layoutPath;    // innerDir/_Kestrun.tmp
    std::filesystem::path dataFilePath;  // innerDir/_downloadres.tmp (".gz" while compressing)
    std::filesystem::path helperPath;    // tempDir/_tmp_command.exe
};
WorkPaths WorkPathsFor(const std::filesystem::path& tempDir);
// Where the configuration editor saves its text for the helper: beside the program file.
std::filesystem::path SavedLayoutTextPath(const std::filesystem::path& programDir);

// The calling user's private directory, below which each instance makes its `tempDir`:
// - "pelorin" below `runtimeDirEnv` (pass getenv("XDG_RUNTIME_DIR")) when that is an absolute
//   path to a directory of the user's with mode 0700;
// - else `tmpdirEnv` (pass getenv("TMPDIR")) itself when it is a directory of the user's that
//   nobody else may write;
// - else "pelorin-<uid>" below `tmpdirEnv` (or /tmp), created with mode 0700.
// When that name is held by anything but a private directory of the user's (another owner,
// open to others, a link, not a directory), it is left alone and a private folder
// "<name>-XXXXXX" beside it is used instead: an earlier one of the user's, else a new one.
struct UserDirResult {
    std::filesystem::path path;
    std::string error;  // empty on success
};
UserDirResult PrivateUserDir(const char* runtimeDirEnv, const char* tmpdirEnv);
// The same, with $XDG_RUNTIME_DIR taken from the environment.
UserDirResult PrivateUserDir(const char* tmpdirEnv);

// Deletes the `tempDir` of every instance under `userDir` that has ended (its lock is free,
// whether it ended cleanly or was killed), with everything in it. Cheap enough to run at the
// start of every operation: one directory listing and one lock attempt per instance. Links
// are never followed; entries that are not directories of the user's, and directories still
// being set up (no lock yet), are left alone. Returns how many directories it removed.
size_t SweepEndedRuns(const std::filesystem::path& userDir);

// This instance's `tempDir`, held (locked) for the object's life so that other instances leave
// it alone. Opening one also sweeps the directories of ended instances (SweepEndedRuns).
// Destruction removes the directory if nothing but the lock is left in it.
class WorkDir {
  public:
    static std::optional<WorkDir> Open(const std::filesystem::path& userDir, std::string* error);

    WorkDir(WorkDir&& other) noexcept;
    WorkDir& operator=(WorkDir&& other) noexcept;
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    ~WorkDir();

    const WorkPaths& Paths() const { return paths_; }

  private:
    WorkDir(WorkPaths paths, intptr_t lock) : paths_(std::move(paths)), lock_(lock) {}
    void Release();

    WorkPaths paths_;
    intptr_t lock_ = -1;
};

// Deletes everything below `dir` and then `dir` itself; links are removed, never followed.
// Returns whether the directory itself was removed (false for a link, which is removed too).
bool DeleteTree(const std::filesystem::path& dir);

// Creates the outer and inner working directories if missing; an entry in their place that is
// not a directory of ours (a planted link, say) is removed first.
bool CreateWorkTree(const WorkPaths& paths);
// Start-up: delete the inner directory with all it holds, then create both again.
bool ResetWorkTree(const WorkPaths& paths);

// End of the run: deletes the working layout file, the prepared data file and its ".gz" (when
// `dataPrepared`), then removes the inner and outer directories if empty. The helper and the
// saved text stay, because the helper still needs them after the tool has ended.
void CleanUpWorkFiles(const WorkPaths& paths, bool dataPrepared);

}  // namespace pelorin
