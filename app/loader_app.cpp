// Start-up: options, the profile, the simulated board if asked for, then the main window.
#include "app/loader_app.h"

#include <QComboBox>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/about_box.h"
#include "app/app_icon.h"
#include "app/app_options.h"
#include "app/editor_run.h"
#include "app/press_run.h"
#include "app/quit_signals.h"
#include "app/simulated_board.h"
#include "ui/dialog/control_ids.h"
#include "ui/qt/loader_window.h"
#include "ui/qt/qt_profile.h"

namespace pelorin::app {
namespace {

// The command line's status for a run ended by Ctrl+C, SIGTERM or a hang-up.
constexpr int kCancelledStatus = 130;

}  // namespace

CLoaderApp::CLoaderApp(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QString::fromUtf8(ui::kProfileOrganisation));
    setApplicationName(QFileInfo(applicationFilePath()).completeBaseName());
    setWindowIcon(AppIcon());
}

int CLoaderApp::InitInstance(const AppOptions& options) {
    std::string error;
    ui::Profile profile(applicationName());
    ui::LoaderWindowSetup windowSetup;
    ui::LoaderDlgSetup& setup = windowSetup.dialog;
    setup.programPath = applicationFilePath().toStdString();
    setup.profile = &profile;
    windowSetup.showAbout = ShowAboutBox;

    std::unique_ptr<SimulatedBoard> board;
    if (options.simulate) {
        board = StartSimulatedBoard(
            {options.paceFactor, options.simulatedCrystalKhz, DefaultSimulatedFlashPath()}, error);
        if (!board) {
            std::fprintf(stderr, "pelorin: no simulated board: %s\n", error.c_str());
            return 2;
        }
        setup.extraPorts.push_back({board->DevicePath(), board->Description()});
    }
    std::optional<PressRunner> press;
    if (options.press) {
        press.emplace(*options.press);
        setup.prompt = &press->Script();
        setup.fileDialogs = &press->Script();
    }

    std::optional<EditorRunner> editor;
    if (options.editLayout) setup.prompt = &editor.emplace(*options.editLayout);

    ui::LoaderWindow window(windowSetup);
    int endedBySignal = 0;
    QuitSignals quitSignals([&](int signal) {
        endedBySignal = signal;
        window.Logic().OnQuitRequest();
    });
    if (press) press->Attach(window);
    if (editor) editor->Attach(window);
    window.exec();
    if (endedBySignal != 0) return kCancelledStatus;
    if (editor) return editor->ExitStatus();
    return press ? press->ExitStatus() : 0;
}

}  // namespace pelorin::app
