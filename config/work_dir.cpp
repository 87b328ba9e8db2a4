// Working paths, shared by every platform.
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

}  // namespace pelorin
