// pelorin.exe: the loader's window on Windows. The same dialog logic as on Linux, shown with
// the platform's own controls; one file, no DLL beside it.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "app/app_options.h"
#include "app_win32/logic_events.h"
#include "app_win32/test_modes_win32.h"
#include "serial/local_devices.h"
#include "sim/flash_lock.h"
#include "sim/local_board.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/thread_prompt.h"
#include "ui/win32/about_box_win32.h"
#include "ui/win32/dialog_view_win32.h"
#include "ui/win32/registry_profile_win32.h"
#include "ui/win32/window_services_win32.h"

namespace pelorin::app {
namespace {

// The device path under which the simulated board is listed.
constexpr const char* kSimulatedBoardPath = "local:simulated-board";

std::filesystem::path ProgramPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    return std::filesystem::path(path);
}

std::filesystem::path SimulatedFlashPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return std::filesystem::path(temp) / "pelorin-simulated-flash.bin";
}

// The board of --simulate: its flash from the file of an earlier run, when there is one.
std::unique_ptr<sim::LocalBoard> StartLocalBoard(const AppOptions& options) {
    sim::TargetConfig config;
    config.crystalKhz = options.simulatedCrystalKhz;
    const std::filesystem::path flashPath = SimulatedFlashPath();
    std::ifstream saved(flashPath, std::ios::binary);
    std::vector<uint8_t> flash((std::istreambuf_iterator<char>(saved)),
                               std::istreambuf_iterator<char>());
    if (flash.size() == config.flash.size()) config.flash = std::move(flash);
    sim::LocalBoardOptions local;
    local.paceFactor = options.paceFactor;
    local.flashPath = flashPath.string();
    return std::make_unique<sim::LocalBoard>(std::move(config), local);
}

std::string SimulatedBoardDescription(unsigned crystalKhz) {
    char crystal[32];
    std::snprintf(crystal, sizeof crystal, "%g MHz", crystalKhz / 1000.0);
    return "Simulated board, " + std::string(crystal) + " crystal";
}

int Run(const AppOptions& options) {
    const std::filesystem::path programPath = ProgramPath();
    const std::string programName = programPath.stem().string();
    ui::RegistryProfile profile(programName);
    ui::DialogViewWin32 view;
    ui::MessageBoxPrompt boxes([&view] { return view.Window(); });
    ui::CommonFileDialogs fileDialogs([&view] { return view.Window(); });
    std::optional<ui::ThreadPrompt> prompt;

    ui::LoaderDlgSetup setup;
    setup.programPath = programPath;
    setup.profile = &profile;
    setup.fileDialogs = &fileDialogs;
    setup.sink = &view.Sink();

    // Declared first: the board saves its flash as it goes, under the lock.
    std::optional<sim::FlashLock> flashLock;
    std::unique_ptr<sim::LocalBoard> board;
    std::optional<LocalDeviceRegistration> listed;
    if (options.simulate) {
        // One window per simulated flash: a second would save over the first's writes.
        std::string busy;
        flashLock = sim::FlashLock::Take(SimulatedFlashPath().string(), busy);
        if (!flashLock) {
            std::fprintf(stderr, "pelorin: no simulated board: %s\n", busy.c_str());
            return 2;
        }
        board = StartLocalBoard(options);
        listed.emplace(kSimulatedBoardPath, *board);
        setup.extraPorts.push_back(
            {kSimulatedBoardPath, SimulatedBoardDescription(options.simulatedCrystalKhz)});
    }

    std::optional<PressRunnerWin32> press;
    std::optional<EditorRunnerWin32> editor;
    IOperatorPrompt* shown = &boxes;
    if (options.press) {
        shown = &press.emplace(*options.press).Script();
        setup.fileDialogs = &press->Script();
    } else if (options.editLayout) {
        shown = &editor.emplace(*options.editLayout);
    }
    prompt.emplace(*shown, [&view, &prompt] { view.Post([&prompt] { prompt->ShowNext(); }); });
    setup.prompt = &*prompt;

    ui::CLoaderDlg logic(setup, view);
    LogicEvents events(logic);
    view.SetEvents(&events);
    view.SetAboutHandler([&programName](HWND owner) {
        ui::AboutBoxOptions about;
        about.programName = programName;
        ui::ShowAboutBox(owner, about);
    });
    if (options.printSections)
        view.SetOnShown([&view](HWND) { PrintSections(view); });
    else if (press)
        view.SetOnShown([&](HWND) { press->Start(view, logic); });
    else if (editor)
        view.SetOnShown([&](HWND) { editor->Start(view); });

    const INT_PTR result = view.Run();
    // The worker may still wait on a question: it gets the safe answer now.
    prompt->Close();
    if (result == -1) {
        std::fprintf(stderr, "pelorin: the window could not be made\n");
        return 1;
    }
    if (press) return press->ExitStatus();
    if (editor) return result == IDOK ? 0 : 1;
    return 0;
}

}  // namespace
}  // namespace pelorin::app

int main(int argc, char** argv) {
    pelorin::app::AppOptions options;
    if (const auto ended = pelorin::app::ReadOptions(argc, argv, options)) return *ended;
    return pelorin::app::Run(options);
}
