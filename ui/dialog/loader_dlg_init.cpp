// The main window's initialisation, step by step, and the settings it reads and saves.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "config/layout_file.h"
#include "config/version.h"
#include "serial/port_enum.h"
#include "session/board.h"
#include "session/chip_types.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/gui_thread_prompt.h"
#include "ui/loader_dlg.h"
#include "ui/port_list.h"
#include "ui/qt/session_event.h"
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
    OnTogglePanel();  // the window opens narrow, the chip settings hidden
    LoadWorkingLayout();
    FillPortList();
    FillEditor();
    FillSectionList();
    FillChipTypeList();
    ApplySettings();
    UpdateSettingsSummary();
    ApplyPanelLock();
    SetCaption();
    aboutOffered_ = LayoutConfigText("Title").empty();
    StartWorker();  // last, so the worker never meets a half-initialised window
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
    std::filesystem::remove(SavedLayoutTextPath(setup_.programPath.parent_path()), ignored);
}

void CLoaderDlg::LoadWorkingLayout() {
    // Without a working file the layout is still known: the program file carries it.
    if (workDir_ && ExtractLayout(setup_.programPath, workDir_->Paths().layoutPath))
        layoutText_ = ReadWholeFile(workDir_->Paths().layoutPath);
    else
        layoutText_ = LayoutTextOf(setup_.programPath);
    layoutIni_ = IniText(layoutText_);
}

void CLoaderDlg::FillPortList() {
    LoadPortMapFromEnvironment(portNames_);
    std::vector<SerialPortInfo> ports = ListSerialPorts(portNames_);
    for (const ExtraPort& extra : setup_.extraPorts) {
        const unsigned number = portNames_.NumberFor(extra.devicePath);
        if (number == 0) continue;
        std::erase_if(ports, [&](const SerialPortInfo& p) { return p.number == number; });
        ports.push_back(
            {number, "COM" + std::to_string(number), extra.devicePath, extra.description});
    }
    ui::FillPortList(*ControlAs<QComboBox>(kIdcSerialPort), ports);
}

void CLoaderDlg::FillSectionList() {
    segments_ = LoadSegmentTable(layoutIni_);
    auto* list = ControlAs<QComboBox>(kIdcSection);
    for (const SegmentEntry& entry : segments_) list->addItem(QString::fromStdString(entry.name));
    list->setCurrentIndex(segments_.empty() ? -1 : 0);
}

void CLoaderDlg::FillChipTypeList() {
    auto* list = ControlAs<QComboBox>(kIdcChipType);
    list->clear();
    for (const ChipType& chip : kChipTypes)
        list->addItem(QString::fromUtf8(chip.name.data(), qsizetype(chip.name.size())));
}

void CLoaderDlg::ApplySettings() {
    for (const ListSetting& setting : kAppliedSettings) {
        auto* list = ControlAs<QComboBox>(setting.controlId);
        const uint32_t value = ReadConfigValue(setting.key);
        list->setCurrentIndex(value < uint32_t(list->count()) ? int(value) : -1);
    }
    // A listed simulated board is why the program was started so: it is the port to use.
    if (!setup_.extraPorts.empty()) {
        auto* ports = ControlAs<QComboBox>(kIdcSerialPort);
        const unsigned number = portNames_.NumberFor(setup_.extraPorts.front().devicePath);
        for (int i = 0; i < ports->count(); ++i)
            if (PortNumberOfText(ports->itemText(i).toStdString()) == number)
                ports->setCurrentIndex(i);
    }
}

void CLoaderDlg::ApplyPanelLock() {
    const bool locked = LeadingDecimal(LayoutConfigText("DisableEtcOpt")) != 0;
    Control(kIdcTogglePanel)->setEnabled(!locked);
}

void CLoaderDlg::SetCaption() {
    const std::string title = LayoutConfigText("Title");
    const QString base = title.empty() ? windowTitle() : QString::fromStdString(title);
    setWindowTitle(base + ' ' + QString::fromStdString(GetVersionText()));
}

void CLoaderDlg::StartWorker() {
    board_ = std::make_unique<Board>(*sink_, *prompt_, *setup_.images);
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
        setup_.profile->WriteInt(setting.key,
                                 ControlAs<QComboBox>(setting.controlId)->currentIndex());
    const int chip = ControlAs<QComboBox>(kIdcChipType)->currentIndex();
    // No selection puts 0xFF into the byte, as the list index -1 would.
    header_.chipCode = chip < 0 ? uint8_t(0xFF) : ChipCodeForListPosition(unsigned(chip));
    header_.crystalKhz =
        CrystalKhzOfText(ControlAs<QComboBox>(kIdcXtal)->currentText().toStdString());
    header_.memoryType = uint8_t(ControlAs<QComboBox>(kIdcMemoryType)->currentIndex());
    header_.memorySize = uint8_t(ControlAs<QComboBox>(kIdcMemorySize)->currentIndex());
    header_.sdramMode = uint8_t(ControlAs<QComboBox>(kIdcSdramMode)->currentIndex());
    UpdateSettingsSummary();
}

}  // namespace pelorin::ui
