// The main window's initialisation, step by step, and the settings it reads and saves.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "config/compression.h"
#include "config/layout_file.h"
#include "config/version.h"
#include "serial/port_enum.h"
#include "session/board.h"
#include "session/chip_types.h"
#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/port_list.h"
#include "ui/dialog/text_numbers.h"

namespace pelorin::ui {
namespace {

// The settings that lists show, in the order they are applied at start-up.
struct ListSetting {
    const char* key;
    int controlId;
};
constexpr ListSetting kAppliedSettings[] = {
    {"ChipType", kIdcChipType},  {"COM", kIdcSerialPort},     {"XTAL", kIdcXtal},
    {"MemType", kIdcMemoryType}, {"MemSize", kIdcMemorySize}, {"SdramModel", kIdcSdramMode},
};
// The settings SaveSettings writes, in its order.
constexpr ListSetting kSavedSettings[] = {
    {"ChipType", kIdcChipType},    {"XTAL", kIdcXtal},
    {"MemType", kIdcMemoryType},   {"MemSize", kIdcMemorySize},
    {"SdramModel", kIdcSdramMode},
};

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    if (in) all << in.rdbuf();
    return all.str();
}

std::filesystem::path UserDirFor(const std::string& tempBase) {
    if (!tempBase.empty()) return tempBase;
    return PrivateUserDir(std::getenv("TMPDIR")).path;
}

}  // namespace

void CLoaderDlg::OnInitDialog() {
    PrepareWorkTree();
    ShowPanel(false);  // the window opens narrow, the chip settings hidden
    surface_.Select(kIdcMode, int(OperationKind::Download));
    LoadWorkingLayout();
    FillPortList();
    FillEditor();
    FillSectionList();
    FillChipTypeList();
    ApplySettings();
    ApplyRememberedChoices();
    UpdateSettingsSummary();
    ApplyPanelLock();
    SetCaption();
    aboutOffered_ = LayoutConfigText("Title").empty();
    StartWorker();  // last, so the worker never meets a half-initialised window
    if (layoutEditPending_)
        Prompt({kLayoutEditPendingText, "Information", PromptIcon::Information});
    // Said once, at start: a layout that is refused, or a value in it that cannot be.
    if (!layoutWarnings_.empty()) Prompt({layoutWarnings_, "Error", PromptIcon::Warning});
}

void CLoaderDlg::PrepareWorkTree() {
    const std::filesystem::path userDir = UserDirFor(setup_.tempBase);
    if (userDir.empty()) return;
    workDir_ = WorkDir::Open(userDir, nullptr);
    if (!workDir_) return;
    ResetWorkTree(workDir_->Paths());
    // Leftovers of an earlier save or restore of the layout; missing files are no error.
    std::error_code ignored;
    std::filesystem::remove(workDir_->Paths().helperPath, ignored);
    // A saved text that a layout helper still waits to write in is no leftover.
    layoutEditPending_ = LayoutEditPending(setup_.programPath.parent_path());
    if (!layoutEditPending_)
        std::filesystem::remove(SavedLayoutTextPath(setup_.programPath.parent_path()), ignored);
}

void CLoaderDlg::LoadWorkingLayout() {
    // Without a working file the layout is still known: the program file carries it.
    if (workDir_ && ExtractLayout(setup_.programPath, workDir_->Paths().layoutPath))
        layoutText_ = ReadWholeFile(workDir_->Paths().layoutPath);
    else
        layoutText_ = LayoutTextOf(setup_.programPath);
    layoutIni_ = IniText(layoutText_);
    compression_ = CompressionOfLayout(layoutIni_, &layoutWarnings_);
}

void CLoaderDlg::FillPortList() {
    LoadPortMapFromEnvironment(portNames_);
    std::vector<SerialPortInfo> ports =
        setup_.listPorts ? setup_.listPorts() : ListSerialPorts(portNames_);
    for (const ExtraPort& extra : setup_.extraPorts) {
        const unsigned number = portNames_.NumberFor(extra.devicePath);
        if (number == 0) continue;
        std::erase_if(ports, [&](const SerialPortInfo& p) { return p.number == number; });
        ports.push_back(
            {number, "COM" + std::to_string(number), extra.devicePath, extra.description});
    }
    ui::FillPortList(surface_, kIdcSerialPort, ports);
}

void CLoaderDlg::FillSectionList() {
    std::string refused;
    segments_ = LoadSegmentTable(layoutIni_, &refused);
    if (!refused.empty())
        layoutWarnings_ = refused + (layoutWarnings_.empty() ? "" : "\n") + layoutWarnings_;
    surface_.ClearItems(kIdcSection);
    for (size_t i = 0; i < segments_.size(); ++i)
        surface_.InsertItem(kIdcSection, int(i), segments_[i].name);
    surface_.Select(kIdcSection, segments_.empty() ? -1 : 0);
}

void CLoaderDlg::FillChipTypeList() {
    surface_.ClearItems(kIdcChipType);
    int index = 0;
    for (const ChipType& chip : kChipTypes)
        surface_.InsertItem(kIdcChipType, index++, std::string(chip.name));
}

void CLoaderDlg::ApplySettings() {
    for (const ListSetting& setting : kAppliedSettings) {
        // A value outside its list (a hand-edited profile or layout) selects the list's first
        // item, so that no operation starts, and no save writes, without a choice.
        const uint32_t value = ReadConfigValue(setting.key);
        const int count = surface_.ItemCount(setting.controlId);
        surface_.Select(setting.controlId, value < uint32_t(count) ? int(value) : 0);
    }
    // A listed simulated board is why the program was started so: it is the port to use.
    if (!setup_.extraPorts.empty()) {
        const unsigned number = portNames_.NumberFor(setup_.extraPorts.front().devicePath);
        for (int i = 0; i < surface_.ItemCount(kIdcSerialPort); ++i)
            if (PortNumberOfText(surface_.ItemText(kIdcSerialPort, i)) == number)
                surface_.Select(kIdcSerialPort, i);
    }
}

void CLoaderDlg::ApplyPanelLock() {
    const bool locked = LeadingDecimal(LayoutConfigText("DisableEtcOpt")) != 0;
    surface_.Enable(kIdcTogglePanel, !locked);
}

void CLoaderDlg::SetCaption() {
    const std::string title = LayoutConfigText("Title");
    const std::string base = title.empty() ? surface_.Caption() : title;
    surface_.SetCaption(base + ' ' + GetVersionText());
}

void CLoaderDlg::StartWorker() {
    board_ = std::make_unique<Board>(*setup_.sink, *setup_.prompt, *setup_.images,
                                     setup_.makePort ? setup_.makePort() : nullptr);
    for (const auto& [number, path] : portNames_.ExplicitEntries())
        board_->Shared().portNames.Assign(number, path);
}

std::string CLoaderDlg::LayoutConfigText(std::string_view key) const {
    return layoutIni_.GetString("Config", key);
}

uint32_t CLoaderDlg::ReadConfigValue(std::string_view key) const {
    const std::string text = LayoutConfigText(key);
    if (!text.empty()) return LeadingDecimal(text);
    return static_cast<uint32_t>(setup_.profile->GetInt(key));
}

void CLoaderDlg::SaveSettings() {
    for (const ListSetting& setting : kSavedSettings)
        setup_.profile->WriteInt(setting.key, surface_.Selection(setting.controlId));
    const int chip = surface_.Selection(kIdcChipType);
    // No selection puts 0xFF into the byte, as the list index -1 would.
    header_.chipCode = chip < 0 ? uint8_t(0xFF) : ChipCodeForListPosition(unsigned(chip));
    const int xtal = surface_.Selection(kIdcXtal);
    header_.crystalKhz = xtal < 0 ? 0 : CrystalKhzOfText(surface_.ItemText(kIdcXtal, xtal));
    header_.memoryType = uint8_t(surface_.Selection(kIdcMemoryType));
    header_.memorySize = uint8_t(surface_.Selection(kIdcMemorySize));
    header_.sdramMode = uint8_t(surface_.Selection(kIdcSdramMode));
    UpdateSettingsSummary();
}

}  // namespace pelorin::ui
