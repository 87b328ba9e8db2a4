// Working paths and the working folder's ownership, shared by every platform.
#include "config/work_dir.h"

namespace pelorin {

WorkPaths WorkPathsFor(const std::filesystem::path& tempDir) {
    WorkPaths paths;
    paths.tempDir = tempDir;
    paths.outerDir = tempDir / kOuterWorkDirName;
    paths.innerDir = paths.outerDir / kInnerWorkDirName;
    paths.layoutPath = paths.innerDir / kLayoutFileName;
    paths.dataFilePath = paths.innerDir / kDataFileName;
    paths.helperPath = tempDir / kLayoutHelperName;
    return paths;
}

std::filesystem::path SavedLayoutTextPath(const std::filesystem::path& programDir) {
    return programDir / kSavedLayoutTextName;
}

bool ResetWorkTree(const WorkPaths& paths) {
    DeleteTree(paths.innerDir);
    return CreateWorkTree(paths);
}

WorkDir::WorkDir(WorkDir&& other) noexcept : paths_(std::move(other.paths_)), lock_(other.lock_) {
    other.lock_ = -1;
}

WorkDir& WorkDir::operator=(WorkDir&& other) noexcept {
    if (this != &other) {
        Release();
        paths_ = std::move(other.paths_);
        lock_ = other.lock_;
        other.lock_ = -1;
    }
    return *this;
}

WorkDir::~WorkDir() {
    Release();
}

}  // namespace pelorin
