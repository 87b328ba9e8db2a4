// The segment layout the command line works with: a file given by the operator, else the
// layout carried by the program file, else the built-in default.
#pragma once

#include <optional>
#include <string>

#include "config/compression.h"
#include "config/segment_table.h"

namespace pelorin::cli {

// `compression`, when given, gets the layout's [Config] Compression choice.
std::optional<SegmentTable> LoadLayout(const std::string& layoutFile, std::string& error,
                                       Compression* compression = nullptr);
// The section named `name` (case-insensitive), or the first when `name` is empty.
std::optional<SegmentEntry> FindSection(const SegmentTable& table, const std::string& name,
                                        std::string& error);

}  // namespace pelorin::cli
