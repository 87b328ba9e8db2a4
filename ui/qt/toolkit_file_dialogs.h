// The toolkit's file dialogs, owned by the window.
#pragma once

#include <QWidget>

#include "ui/dialog/file_dialogs.h"

namespace pelorin::ui {

class ToolkitFileDialogs final : public IFileDialogs {
  public:
    explicit ToolkitFileDialogs(QWidget* owner) : owner_(owner) {}
    std::optional<std::string> ChooseOpenFile(const std::vector<FileFilterEntry>& filter) override;
    std::optional<std::string> ChooseSaveFile(const std::vector<FileFilterEntry>& filter) override;

  private:
    QWidget* owner_;
};

}  // namespace pelorin::ui
