// The main window's logic: its life, and the events the view forwards.
#include "ui/dialog/loader_dlg.h"

#include "session/board.h"
#include "session/operation.h"

namespace pelorin::ui {

CLoaderDlg::CLoaderDlg(LoaderDlgSetup setup, IDialogSurface& surface)
    : setup_(std::move(setup)), surface_(surface) {
    if (!setup_.images) {
        ownImages_ = std::make_unique<TargetImages>();
        setup_.images = ownImages_.get();
    }
}

CLoaderDlg::~CLoaderDlg() {
    if (operation_ && operation_->Running()) operation_->Cancel();
    operation_.reset();
    board_.reset();
    if (workDir_) CleanUpWorkFiles(workDir_->Paths(), false);
}

bool CLoaderDlg::OperationRunning() const {
    return operation_ && operation_->Running();
}

void CLoaderDlg::OnHelpKey() {
    if (aboutOffered_) surface_.ShowAbout();
}

void CLoaderDlg::End(bool accepted) {
    ended_ = true;
    surface_.EndDialog(accepted);
}

PromptAnswer CLoaderDlg::Prompt(const PromptRequest& request) {
    return setup_.prompt->Show(request);
}

}  // namespace pelorin::ui
