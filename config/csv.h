// Comma-separated rows as RFC 4180 writes them: a field with a comma, a quote or a line break
// is quoted, its quotes doubled; rows end with CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

std::string CsvField(std::string_view text);
std::string CsvRow(const std::vector<std::string>& fields);
// Every row of `text`; quoted fields may hold commas and line breaks.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text);

}  // namespace pelorin
