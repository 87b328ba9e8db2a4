// The mode change, the panel toggle and the settings summary in the status bar.
#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/dialog_units.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/window_texts.h"

namespace pelorin::ui {
namespace {

// The chip settings panel is this many pixels wide at the template's font, whose horizontal
// base unit is 6 pixels; other fonts scale it, so narrowing always hides the whole panel.
constexpr int kPanelWidth = 230;
constexpr int kTemplateBaseUnitX = 6;
constexpr const char* kPanelShown = "<<";
constexpr const char* kPanelHidden = ">>";

// The lists the summary shows, in its order; the panel shows them too.
constexpr int kChipLists[] = {kIdcChipType, kIdcXtal, kIdcMemoryType, kIdcMemorySize,
                              kIdcSdramMode};

}  // namespace

void CLoaderDlg::OnModeChange() {
    const int mode = surface_.Selection(kIdcMode);
    if (mode >= 0 && mode <= 2) {
        const auto kind = static_cast<OperationKind>(mode);
        surface_.Enable(kIdcBrowse, kind != OperationKind::Erase);
        surface_.SetText(kIdcOperation, IdleCaption(kind));
    }
    filePath_.clear();
    surface_.SetText(kIdcFile, "");
}

void CLoaderDlg::OnTogglePanel() {
    ShowPanel(!panelShown_);
}

int CLoaderDlg::PanelWidthPixels() const {
    return MulDivRound(kPanelWidth, surface_.DialogBaseUnitX(), kTemplateBaseUnitX);
}

// Lists outside the narrow window are hidden too, so that no key reaches them.
void CLoaderDlg::ShowPanel(bool shown) {
    if (shown == panelShown_) return;
    panelShown_ = shown;
    surface_.SetText(kIdcTogglePanel, shown ? kPanelShown : kPanelHidden);
    surface_.SetWidth(surface_.Width() + (shown ? PanelWidthPixels() : -PanelWidthPixels()));
    for (int id : kChipLists) surface_.Show(id, shown);
}

void CLoaderDlg::UpdateSettingsSummary() {
    std::string summary;
    for (int id : kChipLists) {
        const int selected = surface_.Selection(id);
        if (selected >= 0) summary += surface_.ItemText(id, selected);
        summary += " / ";
    }
    surface_.SetStatusPart(1, summary);
}

}  // namespace pelorin::ui
