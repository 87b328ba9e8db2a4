// What a technician expects of a flashing window beyond the operation itself: a port list that
// follows the devices, a file dropped on the window, progress on the taskbar, a word when an
// operation ends unseen, a hint while no board answers, and the last port and section kept.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "session/operation.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/text_numbers.h"
#include "ui/dialog/window_texts.h"

namespace pelorin::ui {
namespace {

// A device's nodes come in bursts (the node, then its links and rights): one refresh follows.
constexpr int kPortRefreshDelayMs = 300;
constexpr int kNoAnswerDelayMs = 5000;
constexpr int kFailedEntryMs = 3000;

constexpr const char* kLastPortKey = "LastPort";
constexpr const char* kLastSectionKey = "LastSection";

constexpr const char* kNoAnswerHint =
    "No answer yet: check power and reset, the port, the crystal chosen (the boot ROM answers "
    "only at its crystal's speed).";
constexpr const char* kDropWhileRunning = "Drop refused: an operation is running.";
constexpr const char* kDropOutsideDownload = "Drop refused: files are dropped in Download mode.";
constexpr const char* kDropSeveral = "Drop refused: drop one file.";
constexpr const char* kDropFolder = "Drop refused: a folder is no file to download.";
constexpr const char* kMissionCompleted = "Mission completed";

}  // namespace

void CLoaderDlg::OnDevicesChanged() {
    if (ended_) return;
    surface_.StartTimer(kPortRefreshTimer, kPortRefreshDelayMs);
}

void CLoaderDlg::OnConvenienceTimer(int timerId) {
    if (timerId == kPortRefreshTimer) {
        surface_.StopTimer(kPortRefreshTimer);
        // The running operation owns its port; the list changes after it.
        if (inProgressState_ || OperationRunning())
            portRefreshPending_ = true;
        else
            RefreshPortList();
    } else if (timerId == kNoAnswerTimer) {
        surface_.StopTimer(kNoAnswerTimer);
        ShowNoAnswerHint();
    } else if (timerId == kTaskbarTimer) {
        surface_.StopTimer(kTaskbarTimer);
        surface_.SetTaskbarProgress(TaskbarState::None, 0);
    }
}

bool CLoaderDlg::SelectPortNumber(unsigned number) {
    if (number == 0) return false;
    for (int i = 0; i < surface_.ItemCount(kIdcSerialPort); ++i)
        if (PortNumberOfText(surface_.ItemText(kIdcSerialPort, i)) == number) {
            surface_.Select(kIdcSerialPort, i);
            return true;
        }
    return false;
}

// The operator's selection stays on its port while that exists. One that stands in for a
// vanished port gives way to the remembered port when that comes back.
void CLoaderDlg::RefreshPortList() {
    portRefreshPending_ = false;
    const int selected = surface_.Selection(kIdcSerialPort);
    const unsigned number =
        selected < 0 ? 0 : PortNumberOfText(surface_.ItemText(kIdcSerialPort, selected));
    surface_.ClearItems(kIdcSerialPort);
    FillPortList();
    if (!portStandsIn_ && SelectPortNumber(number)) return;
    if (SelectPortNumber(unsigned(setup_.profile->GetInt(kLastPortKey)))) {
        portStandsIn_ = false;
        return;
    }
    if (SelectPortNumber(number)) return;
    portStandsIn_ = true;
    surface_.Select(kIdcSerialPort, surface_.ItemCount(kIdcSerialPort) > 0 ? 0 : -1);
}

void CLoaderDlg::OnFilesDropped(const std::vector<std::string>& paths) {
    if (ended_ || paths.empty()) return;
    std::error_code ec;
    if (inProgressState_ || OperationRunning())
        SetStatusLine(kDropWhileRunning);
    else if (surface_.Selection(kIdcMode) != int(OperationKind::Download))
        SetStatusLine(kDropOutsideDownload);
    else if (paths.size() > 1)
        SetStatusLine(kDropSeveral);
    else if (std::filesystem::is_directory(std::filesystem::u8path(paths.front()), ec))
        SetStatusLine(kDropFolder);
    else
        ChooseFile(paths.front());
}

void CLoaderDlg::RememberChoices() {
    portStandsIn_ = false;
    const int port = surface_.Selection(kIdcSerialPort);
    if (port >= 0)
        setup_.profile->WriteInt(kLastPortKey,
                                 int(PortNumberOfText(surface_.ItemText(kIdcSerialPort, port))));
    const int section = surface_.Selection(kIdcSection);
    if (section >= 0) setup_.profile->WriteInt(kLastSectionKey, section);
}

// A listed simulated board is the port to use: the remembered one does not replace it.
void CLoaderDlg::ApplyRememberedChoices() {
    if (setup_.extraPorts.empty())
        portStandsIn_ = !SelectPortNumber(unsigned(setup_.profile->GetInt(kLastPortKey)));
    const int section = setup_.profile->GetInt(kLastSectionKey);
    if (section > 0 && section < surface_.ItemCount(kIdcSection))
        surface_.Select(kIdcSection, section);
}

void CLoaderDlg::ConveniencesOnStarted() {
    const int port = surface_.Selection(kIdcSerialPort);
    portOfOperation_ = port < 0 ? std::string() : surface_.ItemText(kIdcSerialPort, port);
    RememberChoices();
    boardAnswered_ = false;
    surface_.StartTimer(kNoAnswerTimer, kNoAnswerDelayMs);
    surface_.StopTimer(kTaskbarTimer);
    surface_.SetTaskbarProgress(TaskbarState::Normal, 0);
}

void CLoaderDlg::ConveniencesOnMainPercent(unsigned percent) {
    surface_.SetTaskbarProgress(TaskbarState::Normal, int(std::min(percent, 100u)));
}

void CLoaderDlg::BoardAnswered() {
    if (boardAnswered_) return;
    boardAnswered_ = true;
    surface_.StopTimer(kNoAnswerTimer);
}

// The wait itself goes on: the hint only joins the status line.
void CLoaderDlg::ShowNoAnswerHint() {
    if (boardAnswered_ || !inProgressState_) return;
    SetStatusLine(surface_.Text(kIdcStatusLine) + ' ' + kNoAnswerHint);
}

void CLoaderDlg::ConveniencesOnEnded(Outcome outcome, const std::string& text) {
    surface_.StopTimer(kNoAnswerTimer);
    if (outcome == Outcome::Completed || outcome == Outcome::Cancelled) {
        surface_.SetTaskbarProgress(TaskbarState::None, 0);
    } else {
        surface_.SetTaskbarProgress(TaskbarState::Error, std::max(lastMainPercent_, 1));
        surface_.StartTimer(kTaskbarTimer, kFailedEntryMs);
    }
    // A cancel is the operator's own doing, seen where it was done.
    if (outcome != Outcome::Cancelled && !surface_.IsActiveWindow())
        surface_.NotifyOperator(outcome == Outcome::Completed ? kMissionCompleted : text,
                                portOfOperation_);
    if (portRefreshPending_)
        surface_.Defer([this] {
            if (!inProgressState_ && !OperationRunning()) RefreshPortList();
        });
}

}  // namespace pelorin::ui
