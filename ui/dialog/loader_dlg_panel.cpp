// The mode change, the panel toggle and the settings summary in the status bar.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/loader_dlg.h"

namespace pelorin::ui {
namespace {

// The chip settings panel is this many pixels wide: the toggle hides and shows it.
constexpr int kPanelWidth = 230;
constexpr const char* kPanelShown = "<<";
constexpr const char* kPanelHidden = ">>";

// The lists the summary shows, in its order.
constexpr int kSummaryLists[] = {kIdcChipType, kIdcXtal, kIdcMemoryType, kIdcMemorySize,
                                 kIdcSdramMode};

}  // namespace

void CLoaderDlg::OnModeChange() {
    const int mode = ControlAs<QComboBox>(kIdcMode)->currentIndex();
    if (mode >= 0 && mode <= 2) {
        const auto kind = static_cast<OperationKind>(mode);
        Control(kIdcBrowse)->setEnabled(kind != OperationKind::Erase);
        ControlAs<QPushButton>(kIdcOperation)->setText(QString::fromUtf8(IdleCaption(kind)));
    }
    filePath_.clear();
    ControlAs<QLineEdit>(kIdcFile)->clear();
}

void CLoaderDlg::OnTogglePanel() {
    auto* toggle = ControlAs<QPushButton>(kIdcTogglePanel);
    const bool shown = toggle->text() == QLatin1String(kPanelShown);
    toggle->setText(QString::fromLatin1(shown ? kPanelHidden : kPanelShown));
    setFixedWidth(width() + (shown ? -kPanelWidth : kPanelWidth));
}

void CLoaderDlg::UpdateSettingsSummary() {
    QString summary;
    for (int id : kSummaryLists) summary += ControlAs<QComboBox>(id)->currentText() + " / ";
    statusParts_[1]->setText(summary);
}

}  // namespace pelorin::ui
