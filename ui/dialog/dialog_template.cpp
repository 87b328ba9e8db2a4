// Template 102: the controls of the main window, their texts and places.
#include "ui/dialog/dialog_template.h"

#include <array>

#include "ui/dialog/control_ids.h"

namespace pelorin::ui {
namespace {

using K = ControlKind;

constexpr std::string_view kModeItems[] = {"Download", "Erase", "Dump"};
constexpr std::string_view kXtalItems[] = {"27 MHz", "13.5 MHz", "16 MHz", "8 MHz", "4 MHz"};
constexpr std::string_view kMemoryTypeItems[] = {"SDRAM", "DDRAM"};
constexpr std::string_view kMemorySizeItems[] = {"64Mbit", "128Mbit", "256Mbit", "512Mbit"};
constexpr std::string_view kSdramModeItems[] = {"full-page", "burst"};

// Labels stand on the line of their control: left ones at x 16, right ones at x 433.
constexpr ControlEntry kControls[] = {
    {kIdcStatic, K::GroupFrame, "", {7, 3, 269, 89}},
    {kIdcStatic, K::Label, "Serial Port:", {16, 14, 38, 8}},
    {kIdcSerialPort, K::SortedDropDownList, "", {55, 12, 181, 360}},
    {kIdcTogglePanel, K::PushButton, "<<", {242, 11, 25, 14}},
    {kIdcStatic, K::Label, "Mode:", {16, 31, 38, 8}},
    {kIdcMode, K::DropDownList, "", {55, 29, 181, 192}, kModeItems},
    {kIdcStatic, K::Label, "Section:", {16, 48, 38, 8}},
    {kIdcSection, K::DropDownList, "", {55, 46, 181, 177}},
    {kIdcStatic, K::Label, "File:", {16, 66, 38, 8}},
    {kIdcFile, K::ReadOnlyEdit, "", {55, 63, 181, 14}},
    {kIdcBrowse, K::PushButton, "...", {242, 62, 25, 14}},
    {kIdcOperation, K::DefaultPushButton, "&Download", {88, 110, 106, 28}},
    {kIdcStatusLine, K::Label, "Sub Progress:", {7, 156, 191, 8}},
    {kIdcSubProgress, K::ProgressBar, "", {6, 165, 246, 14}},
    {kIdcSubPercent, K::RightLabel, "0%", {256, 167, 20, 8}},
    {kIdcStatic, K::Label, "Main progress:", {7, 188, 191, 8}},
    {kIdcMainProgress, K::ProgressBar, "", {6, 197, 246, 14}},
    {kIdcMainPercent, K::RightLabel, "0%", {256, 200, 20, 8}},
    {kIdcStatic, K::GroupFrame, "", {285, 3, 129, 209}},
    {kIdcEditor, K::ReadOnlyMultiLineEdit, "", {291, 12, 117, 190}},
    {kIdcStatic, K::GroupFrame, "", {424, 3, 143, 209}},
    {kIdcStatic, K::Label, "Chip Type:", {433, 17, 52, 8}},
    {kIdcChipType, K::DropDownList, "", {487, 15, 76, 223}},
    {kIdcStatic, K::Label, "Xtal:", {433, 36, 52, 8}},
    {kIdcXtal, K::DropDownList, "", {487, 34, 76, 151}, kXtalItems},
    {kIdcStatic, K::Label, "Memory Type:", {433, 54, 52, 8}},
    {kIdcMemoryType, K::DropDownList, "", {487, 52, 76, 116}, kMemoryTypeItems},
    {kIdcStatic, K::Label, "Memory Size:", {433, 73, 52, 8}},
    {kIdcMemorySize, K::DropDownList, "", {487, 71, 76, 198}, kMemorySizeItems},
    {kIdcStatic, K::Label, "SDRAM Mode:", {433, 93, 52, 8}},
    {kIdcSdramMode, K::DropDownList, "", {488, 91, 76, 116}, kSdramModeItems, true},
};

constexpr DialogTemplate kMainWindow = {102, "Pelorin", 574, 233, kControls};

}  // namespace

const DialogTemplate& MainWindowTemplate() {
    return kMainWindow;
}

const ControlEntry* FindControl(const DialogTemplate& dialog, int id) {
    for (const ControlEntry& entry : dialog.controls)
        if (entry.id == id) return &entry;
    return nullptr;
}

}  // namespace pelorin::ui
