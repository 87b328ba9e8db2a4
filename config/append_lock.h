// Appending whole records to a file that several processes share (the production line's
// log): one write per record, under an advisory lock, on disk before the call returns. One
// file per platform implements it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelorin {

// Appends `record` to `path` (created when missing). When the file is empty, `header` goes
// in the same write before it. Returns an error text, empty on success.
std::string AppendRecordLocked(const std::filesystem::path& path, std::string_view header,
                               std::string_view record);

}  // namespace pelorin
