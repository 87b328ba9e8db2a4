// The file choice: an existing file to download, or a file to dump into.
#include "config/image_check.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/dialog_template.h"
#include "ui/dialog/file_filter.h"
#include "ui/dialog/loader_dlg.h"

namespace pelorin::ui {

void CLoaderDlg::OnBrowse() {
    const int mode = surface_.Selection(kIdcMode);
    if (mode != 0 && mode != 2) return;
    const std::vector<FileFilterEntry> filter = ParseFileFilter(kFileFilter);
    const std::optional<std::string> chosen = mode == 0
                                                  ? setup_.fileDialogs->ChooseOpenFile(filter)
                                                  : setup_.fileDialogs->ChooseSaveFile(filter);
    if (!chosen) return;
    if (mode == 0) return ChooseFile(*chosen);
    filePath_ = *chosen;
    surface_.SetText(kIdcFile, filePath_);
}

// A file to download: taken, and checked at once so that a wrong one is known before a start.
void CLoaderDlg::ChooseFile(const std::string& path) {
    filePath_ = path;
    surface_.SetText(kIdcFile, filePath_);
    const FlashImageCheck check = CheckFlashImage(filePath_);
    if (check.opened)
        wholeImage_ = check.wholeImage;
    else
        Prompt({check.error, setup_.programPath.stem().string(), PromptIcon::Warning});
}

}  // namespace pelorin::ui
