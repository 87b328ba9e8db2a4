// Starting a program and leaving it to run on its own, its window hidden: how the tool hands
// the layout to the helper just before it ends.
#pragma once

#include <string>
#include <vector>

namespace pelorin {

// Starts the program of `commandLine` (words separated by blanks; a word in double quotes may
// hold blanks) without waiting for it. False, with `error` set, when it could not be started.
bool StartProgram(const std::string& commandLine, std::string* error);

// The words of `commandLine`, quotes removed.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace pelorin
