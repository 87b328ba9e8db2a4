// The file choice: an existing file to download, or a file to dump into.
#include <QComboBox>
#include <QLineEdit>

#include "config/image_check.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/dialog_template.h"
#include "ui/dialog/file_filter.h"
#include "ui/qt/gui_thread_prompt.h"
#include "ui/loader_dlg.h"

namespace pelorin::ui {

void CLoaderDlg::OnBrowse() {
    const int mode = ControlAs<QComboBox>(kIdcMode)->currentIndex();
    if (mode != 0 && mode != 2) return;
    const std::vector<FileFilterEntry> filter = ParseFileFilter(kFileFilter);
    const std::optional<std::string> chosen = mode == 0
                                                  ? setup_.fileDialogs->ChooseOpenFile(filter)
                                                  : setup_.fileDialogs->ChooseSaveFile(filter);
    if (!chosen) return;
    filePath_ = *chosen;
    ControlAs<QLineEdit>(kIdcFile)->setText(QString::fromStdString(filePath_));
    if (mode != 0) return;
    const FlashImageCheck check = CheckFlashImage(filePath_);
    if (check.opened)
        wholeImage_ = check.wholeImage;
    else
        prompt_->Show(
            {check.error, std::string(MainWindowTemplate().caption), PromptIcon::Warning});
}

}  // namespace pelorin::ui
