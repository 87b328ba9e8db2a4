// The open and save file dialogs as an interface, so that tests can answer them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog/file_filter.h"

namespace pelorin::ui {

class IFileDialogs {
  public:
    virtual ~IFileDialogs() = default;
    // An existing file to read; none when the operator cancelled.
    virtual std::optional<std::string> ChooseOpenFile(
        const std::vector<FileFilterEntry>& filter) = 0;
    // A file to write, new or confirmed to be overwritten; none when the operator cancelled.
    virtual std::optional<std::string> ChooseSaveFile(
        const std::vector<FileFilterEntry>& filter) = 0;
};

}  // namespace pelorin::ui
