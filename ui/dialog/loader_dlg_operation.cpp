// The operation button: every press saves the settings, then starts or cancels an operation
// of the chosen mode. The checks, the working files and the hand-over are the operation's.
#include "session/board.h"
#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/text_numbers.h"
#include "ui/dialog/window_texts.h"

namespace pelorin::ui {
namespace {

// The controls an operation locks: everything that feeds the header or the port.
constexpr int kOperatorControls[] = {kIdcBrowse, kIdcSerialPort, kIdcMode,       kIdcSection,
                                     kIdcXtal,   kIdcChipType,   kIdcMemoryType, kIdcMemorySize};
constexpr const char* kCancelPrefix = "Cancel ";

}  // namespace

void CLoaderDlg::OnOperationButton() {
    // The click that took the focus from the edited layout belongs to the editor's question.
    if (editorQuestionPending_) return;
    const int mode = surface_.Selection(kIdcMode);
    const std::string caption = surface_.Text(kIdcOperation);
    setup_.profile->WriteInt("COM", surface_.Selection(kIdcSerialPort));
    SaveSettings();
    header_.mode = uint8_t(mode);
    const int section = surface_.Selection(kIdcSection);
    if (section >= 0 && size_t(section) < segments_.size()) {
        header_.startAddress = segments_[size_t(section)].startAddr;
        header_.sectionSize = segments_[size_t(section)].segSize;
    }
    if (mode < 0 || mode > 2) return;
    const int port = surface_.Selection(kIdcSerialPort);
    const unsigned portNumber =
        port < 0 ? 0 : PortNumberOfText(surface_.ItemText(kIdcSerialPort, port));
    if (caption != IdleCaption(OperationKind(mode)))
        CancelOperation(mode);
    else
        StartOperation(mode, portNumber);
}

void CLoaderDlg::StartOperation(int mode, unsigned portNumber) {
    OperationRequest request;
    request.kind = OperationKind(mode);
    request.portNumber = portNumber;
    const int port = surface_.Selection(kIdcSerialPort);
    request.portLabel = port < 0 ? "No serial port" : surface_.ItemText(kIdcSerialPort, port);
    request.header = header_;
    const int section = surface_.Selection(kIdcSection);
    if (section >= 0 && size_t(section) < segments_.size())
        request.section = segments_[size_t(section)];
    request.file = filePath_;
    request.tempBase = setup_.tempBase;
    request.compression = compression_;
    operation_ = std::make_unique<Operation>(*board_, *this);
    operation_->Start(request);
}

void CLoaderDlg::CancelOperation(int mode) {
    surface_.StopTimer(kWatchdogTimer);
    if (OperationRunning())
        operation_->Cancel();  // ends in OnEnded, which restores the idle state
    else
        StopOperation(IdleCaption(OperationKind(mode)));
}

void CLoaderDlg::EnterProgressState(const std::string& idleCaption) {
    SetStatusLine("Enter " + PlainCaption(idleCaption) + " Progress...");
    surface_.SetText(kIdcOperation, kCancelPrefix + idleCaption);
    ResetBars();
    EnableOperatorControls(false);
    inProgressState_ = true;
}

void CLoaderDlg::StopOperation(const std::string& idleCaption) {
    surface_.StopTimer(kSendEstimateTimer);
    surface_.SetText(kIdcOperation, idleCaption);
    SetStatusLine("Cancel");
    ResetBars();
    EnableOperatorControls(true);
    inProgressState_ = false;
}

void CLoaderDlg::RestoreIdleControls() {
    const std::string caption = surface_.Text(kIdcOperation);
    if (caption.size() > 10) surface_.SetText(kIdcOperation, caption.substr(7));  // no "Cancel "
    EnableOperatorControls(true);
    inProgressState_ = false;
}

void CLoaderDlg::EnableOperatorControls(bool enable) {
    for (int id : kOperatorControls) surface_.Enable(id, enable);
    // In Erase mode there is no file to choose: the browse button stays off.
    if (enable && surface_.Selection(kIdcMode) == int(OperationKind::Erase))
        surface_.Enable(kIdcBrowse, false);
}

void CLoaderDlg::ForwardToOperation(uint32_t id, uint64_t wParam, int64_t lParam) {
    if (operation_) operation_->OnMessage({id, wParam, lParam});
}

// Texts on the status line are plain: a caption's mnemonic belongs on a button only.
void CLoaderDlg::SetStatusLine(const std::string& text) {
    surface_.SetText(kIdcStatusLine, PlainCaption(text));
}

}  // namespace pelorin::ui
