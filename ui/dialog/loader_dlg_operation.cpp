// The operation button: every press saves the settings, then starts or cancels an operation
// of the chosen mode. The checks, the working files and the hand-over are the operation's.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "session/board.h"
#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/loader_dlg.h"
#include "ui/dialog/text_numbers.h"

namespace pelorin::ui {
namespace {

// The controls an operation locks: everything that feeds the header or the port.
constexpr int kOperatorControls[] = {kIdcBrowse, kIdcSerialPort, kIdcMode,       kIdcSection,
                                     kIdcXtal,   kIdcChipType,   kIdcMemoryType, kIdcMemorySize};
constexpr const char* kCancelPrefix = "Cancel ";

}  // namespace

void CLoaderDlg::OnOperationButton() {
    const int mode = ControlAs<QComboBox>(kIdcMode)->currentIndex();
    const QString caption = ControlAs<QPushButton>(kIdcOperation)->text();
    auto* ports = ControlAs<QComboBox>(kIdcSerialPort);
    setup_.profile->WriteInt("COM", ports->currentIndex());
    SaveSettings();
    header_.mode = uint8_t(mode);
    const int section = ControlAs<QComboBox>(kIdcSection)->currentIndex();
    if (section >= 0 && size_t(section) < segments_.size()) {
        header_.startAddress = segments_[size_t(section)].startAddr;
        header_.sectionSize = segments_[size_t(section)].segSize;
    }
    if (mode < 0 || mode > 2) return;
    const QString idle = QString::fromUtf8(IdleCaption(OperationKind(mode)));
    if (caption != idle)
        CancelOperation(mode);
    else
        StartOperation(mode, PortNumberOfText(ports->currentText().toStdString()));
}

void CLoaderDlg::StartOperation(int mode, unsigned portNumber) {
    OperationRequest request;
    request.kind = OperationKind(mode);
    request.portNumber = portNumber;
    request.portLabel = ControlAs<QComboBox>(kIdcSerialPort)->currentText().toStdString();
    if (request.portLabel.empty()) request.portLabel = "No serial port";
    request.header = header_;
    const int section = ControlAs<QComboBox>(kIdcSection)->currentIndex();
    if (section >= 0 && size_t(section) < segments_.size())
        request.section = segments_[size_t(section)];
    request.file = filePath_;
    request.tempBase = setup_.tempBase;
    operation_ = std::make_unique<Operation>(*board_, *this);
    operation_->Start(request);
}

void CLoaderDlg::CancelOperation(int mode) {
    KillTimer(kWatchdogTimer);
    if (OperationRunning())
        operation_->Cancel();  // ends in OnEnded, which restores the idle state
    else
        StopOperation(QString::fromUtf8(IdleCaption(OperationKind(mode))));
}

void CLoaderDlg::EnterProgressState(const QString& idleCaption) {
    ControlAs<QLabel>(kIdcStatusLine)->setText("Enter " + idleCaption + " Progress...");
    ControlAs<QPushButton>(kIdcOperation)->setText(kCancelPrefix + idleCaption);
    ResetBars();
    EnableOperatorControls(false);
    inProgressState_ = true;
}

void CLoaderDlg::StopOperation(const QString& idleCaption) {
    KillTimer(kSendEstimateTimer);
    ControlAs<QPushButton>(kIdcOperation)->setText(idleCaption);
    ControlAs<QLabel>(kIdcStatusLine)->setText("Cancel");
    ResetBars();
    EnableOperatorControls(true);
    inProgressState_ = false;
}

void CLoaderDlg::RestoreIdleControls() {
    auto* button = ControlAs<QPushButton>(kIdcOperation);
    const QString caption = button->text();
    if (caption.size() > 10) button->setText(caption.mid(7));  // without "Cancel "
    EnableOperatorControls(true);
    inProgressState_ = false;
}

void CLoaderDlg::EnableOperatorControls(bool enable) {
    for (int id : kOperatorControls) Control(id)->setEnabled(enable);
    // In Erase mode there is no file to choose: the browse button stays off.
    if (enable && ControlAs<QComboBox>(kIdcMode)->currentIndex() == int(OperationKind::Erase))
        Control(kIdcBrowse)->setEnabled(false);
}

void CLoaderDlg::ForwardToOperation(uint32_t id, uint64_t wParam, int64_t lParam) {
    if (operation_) operation_->OnMessage({id, wParam, lParam});
}

}  // namespace pelorin::ui
