// The tool's half of saving and restoring the layout.
#include "config/layout_handover.h"

#include <span>
#include <system_error>

#include "config/file_claim.h"
#include "config/file_io.h"
#include "config/layout_helper_blob.h"
#include "config/work_dir.h"

namespace pelorin {
namespace {

// The helper replaces the program file by writing a new file beside it and renaming it over
// the old one, so the program's folder must take new files. Checked here, while the operator
// can still be told; the helper itself runs after the tool has ended and nobody sees it fail.
bool ProgramReplaceable(const std::filesystem::path& programPath, std::string* error) {
    // The helper's command line quotes the path; a quote inside would split it.
    if (programPath.string().find('"') != std::string::npos) {
        if (error) *error = "The program path " + programPath.string() + " holds a double quote.";
        return false;
    }
    const std::filesystem::path probe =
        programPath.parent_path() / (programPath.filename().string() + ".layout-probe");
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    std::string why;
    auto file = OutFile::CreateNew(probe, &why);
    const bool ok = file && file->Close();
    if (file) std::filesystem::remove(probe, ignored);
    if (!ok && error)
        *error = "The program file " + programPath.string() + " cannot be rewritten: " + why;
    return ok;
}

bool HelperHasPlace(const HandOverPaths& paths, std::string* error) {
    if (!paths.helperPath.empty()) return true;
    if (error) *error = "There is no working folder to write the layout helper into.";
    return false;
}

bool WriteSavedText(const std::filesystem::path& path, std::string_view text, std::string* error) {
    auto file = OutFile::CreateReplacing(path, error, 0644);
    if (!file) return false;
    const bool written =
        file->Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()}) && file->Close();
    if (!written && error) *error = "Cannot write " + path.string() + ": " + LastSystemErrorText();
    return written;
}

}  // namespace

std::string HelperCommandLine(const HandOverPaths& paths, bool restore) {
    // A helper path with blanks (a temporary folder below "John Smith") is quoted too, or it
    // would be read as several words.
    std::string helper = paths.helperPath.string();
    if (helper.find(' ') != std::string::npos) helper = '"' + helper + '"';
    std::string line = helper + " \"" + paths.programPath.string() + "\"";
    if (restore) line += std::string(" ") + kRestoreWord;
    return line;
}

bool PrepareLayoutSave(const HandOverPaths& paths, std::string_view text, std::string* error) {
    if (!HelperHasPlace(paths, error) || !ProgramReplaceable(paths.programPath, error))
        return false;
    const std::filesystem::path saved = SavedLayoutTextPath(paths.programPath.parent_path());
    if (!WriteSavedText(saved, text, error)) return false;
    if (WriteLayoutHelper(paths.helperPath, error)) return true;
    std::error_code ignored;
    std::filesystem::remove(saved, ignored);
    return false;
}

bool PrepareLayoutRestore(const HandOverPaths& paths, std::string* error) {
    return HelperHasPlace(paths, error) && ProgramReplaceable(paths.programPath, error) &&
           WriteLayoutHelper(paths.helperPath, error);
}

bool LayoutEditPending(const std::filesystem::path& programDir) {
    return FileClaimed(SavedLayoutTextPath(programDir));
}

}  // namespace pelorin
