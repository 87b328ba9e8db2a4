// Saving or restoring the layout hands the job to the layout helper, which rewrites the program
// file once the tool has ended (a running program file cannot be rewritten). This is what the
// tool does before it ends: the files the helper needs and the helper's command line.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/line_ends.h"

namespace pelorin {

struct HandOverPaths {
    std::filesystem::path programPath;  // the file the helper rewrites
    std::filesystem::path helperPath;   // where the helper is written out
};

// The helper's path, a blank, the program path in double quotes; for a restore, then a blank
// and the word restore.
std::string HelperCommandLine(const HandOverPaths& paths, bool restore);

// Writes the saved text beside the program file and the helper. False, with `error` saying
// what cannot be written, when the helper could not do its job: then nothing is left behind.
bool PrepareLayoutSave(const HandOverPaths& paths, std::string_view text, std::string* error);
// Writes the helper for a restore; false with `error` as above.
bool PrepareLayoutRestore(const HandOverPaths& paths, std::string* error);

// True while a layout helper waits to write the saved text beside the program file in
// `programDir` (it holds a claim on the text): the text is then no leftover to remove.
bool LayoutEditPending(const std::filesystem::path& programDir);
inline constexpr const char* kLayoutEditPendingText =
    "A saved layout waits to be written into the program file: its layout helper does that "
    "once every copy of the program has ended, and waits 2 minutes for it. Close this copy "
    "to let it.";

}  // namespace pelorin
