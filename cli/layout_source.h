// The segment layout the command line works with: a file given by the operator, else the
// layout carried by the program file, else the built-in default.
#pragma once

#include <optional>
#include <string>

#include "config/segment_table.h"

namespace pelorin::cli {

std::optional<SegmentTable> LoadLayout(const std::string& layoutFile, std::string& error);
// The section named `name` (case-insensitive), or the first when `name` is empty.
std::optional<SegmentEntry> FindSection(const SegmentTable& table, const std::string& name,
                                        std::string& error);

}  // namespace pelorin::cli
