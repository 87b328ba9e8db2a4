// Open and save dialogs: the filter shows its display texts only, the first is the default;
// no default extension, so a name typed without one is used as typed.
#include "ui/qt/toolkit_file_dialogs.h"

#include <QFile>
#include <QFileDialog>

namespace pelorin::ui {
namespace {

// The name's bytes as the file system holds them, also where they are no UTF-8.
std::optional<std::string> Chosen(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return QFile::encodeName(path).toStdString();
}

}  // namespace

std::optional<std::string> ToolkitFileDialogs::ChooseOpenFile(
    const std::vector<FileFilterEntry>& filter) {
    return Chosen(QFileDialog::getOpenFileName(owner_, QString(), QString(),
                                               QString::fromStdString(ToolkitFilter(filter)),
                                               nullptr, QFileDialog::HideNameFilterDetails));
}

std::optional<std::string> ToolkitFileDialogs::ChooseSaveFile(
    const std::vector<FileFilterEntry>& filter) {
    return Chosen(QFileDialog::getSaveFileName(owner_, QString(), QString(),
                                               QString::fromStdString(ToolkitFilter(filter)),
                                               nullptr, QFileDialog::HideNameFilterDetails));
}

}  // namespace pelorin::ui
