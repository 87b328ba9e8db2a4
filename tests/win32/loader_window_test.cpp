// The main window as the operator has it on Windows: the dialog logic on the Windows view, with
// the simulated board in the process listed as a port. Driven by the window's messages: the
// caption, the panel toggle, the mode change, then a Download, an Erase and a Dump to
// "Mission completed"; a device that comes and a file dropped.
#include <windows.h>

#include <commctrl.h>
#include <dbt.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>

#include "app_win32/logic_events.h"
#include "serial/local_devices.h"
#include "sim/local_board.h"
#include "ui/dialog/control_ids.h"
#include "ui/dialog/loader_dlg.h"
#include "ui/dialog/thread_prompt.h"
#include "ui/win32/about_box_win32.h"
#include "ui/win32/dialog_view_win32.h"

namespace pelorin::ui {
namespace {

namespace fs = std::filesystem;

class Answers final : public IOperatorPrompt, public IFileDialogs {
  public:
    PromptAnswer Show(const PromptRequest& r) override {
        std::lock_guard lock(mutex_);
        shown += r.caption + ": " + r.text + "\n";
        return DefaultAnswer(r.buttons);
    }
    std::optional<std::string> ChooseOpenFile(const std::vector<FileFilterEntry>&) override {
        return file;
    }
    std::optional<std::string> ChooseSaveFile(const std::vector<FileFilterEntry>&) override {
        return file;
    }
    std::string Shown() {
        std::lock_guard lock(mutex_);
        return shown;
    }
    std::string file;

  private:
    std::mutex mutex_;
    std::string shown;
};

// The steps run one per 50 ms tick of a thread timer, each again until it is true.
class Script {
  public:
    using Step = std::function<bool()>;
    void Add(Step step) { steps_.push_back(std::move(step)); }
    void Start(DialogViewWin32& view) {
        view_ = &view;
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 50, Tick);
    }

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { current_->Next(); }
    void Next() {
        if (busy_) return;  // a step's own message loop (a message box) ticks too
        busy_ = true;
        if (index_ >= steps_.size()) {
            KillTimer(nullptr, timer_);
            view_->EndDialog(true);
        } else if (steps_[index_]() || ++tries_ > 1200) {
            EXPECT_LE(tries_, 1200) << "step " << index_ << " never came true";
            ++index_;
            tries_ = 0;
        }
        busy_ = false;
    }
    static inline Script* current_ = nullptr;
    DialogViewWin32* view_ = nullptr;
    std::vector<Step> steps_;
    size_t index_ = 0;
    int tries_ = 0;
    bool busy_ = false;
    UINT_PTR timer_ = 0;
};

std::string ProgramFile() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).string();
}

TEST(LoaderWindowWin32, PanelModesAndThreeOperationsOnTheSimulatedBoard) {
    const fs::path dir = fs::temp_directory_path() / "pelorin-window-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string image(20000, 'x');
    std::ofstream(dir / "image.bin", std::ios::binary) << image;

    sim::LocalBoardOptions boardOptions;
    boardOptions.paceFactor = 0;
    sim::LocalBoard board(sim::TargetConfig{}, boardOptions);
    LocalDeviceRegistration listed("local:window-test", board);

    DialogViewWin32 view;
    MemoryProfile profile;
    Answers answers;
    ThreadPrompt prompt(answers, [&] { view.Post([&] { prompt.ShowNext(); }); });
    LoaderDlgSetup setup;
    setup.programPath = ProgramFile();
    setup.profile = &profile;
    setup.fileDialogs = &answers;
    setup.prompt = &prompt;
    setup.sink = &view.Sink();
    setup.extraPorts.push_back({"local:window-test", "Simulated board"});
    setup.tempBase = dir.string();
    CLoaderDlg logic(setup, view);
    app::LogicEvents events(logic);
    view.SetEvents(&events);

    // F1 opens the About box (no Title configured); it is closed as soon as it shows.
    std::string aboutCaption;
    AboutBoxOptions about;
    about.onShown = [&](HWND box) {
        wchar_t text[64] = {};
        GetWindowTextW(box, text, 64);
        aboutCaption = std::string(text, text + wcslen(text));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    view.SetAboutHandler([&](HWND owner) { ShowAboutBox(owner, about); });

    Script script;
    HWND dlg = nullptr;
    int wide = 0;
    auto click = [&](int id) {
        PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(view.Control(id)));
    };
    auto choose = [&](int id, int index) {
        view.Select(id, index);
        SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(view.Control(id)));
    };
    auto section = [&](const std::string& name) {
        for (int i = 0; i < view.ItemCount(kIdcSection); ++i)
            if (view.ItemText(kIdcSection, i) == name) view.Select(kIdcSection, i);
    };
    // One operation: the mode, the section, the file, the press, the wait.
    auto operate = [&](int mode, const std::string& file) {
        script.Add([&, mode, file] {
            choose(kIdcMode, mode);
            section("Logo");
            answers.file = file;
            if (!file.empty()) click(kIdcBrowse);
            click(kIdcOperation);
            return true;
        });
        script.Add([&] { return logic.OperationRunning(); });
        script.Add([&] { return !logic.OperationRunning(); });
        script.Add([&, mode] {
            EXPECT_EQ(view.Text(kIdcStatusLine), "Mission completed") << "mode " << mode << "\n"
                                                                      << answers.Shown();
            EXPECT_EQ(view.Text(kIdcMainPercent), "100%");
            EXPECT_EQ(SendDlgItemMessageW(dlg, kIdcMainProgress, PBM_GETPOS, 0, 0), 100);
            return true;
        });
    };

    script.Add([&] {
        dlg = view.Window();
        EXPECT_EQ(view.Caption(), "Pelorin V2.105");
        wchar_t item[64] = {};
        GetMenuStringW(GetSystemMenu(dlg, FALSE), kAboutCommand, item, 64, MF_BYCOMMAND);
        EXPECT_STREQ(item, L"&About Me...");
        PostMessageW(view.Control(kIdcMode), WM_KEYDOWN, VK_F1, 0);
        return true;
    });
    script.Add([&] { return aboutCaption == "About Downloader"; });
    script.Add([&] {
        // Opened narrow, the chip settings outside; the toggle brings them in and back out.
        EXPECT_EQ(view.Text(kIdcTogglePanel), ">>");
        wide = view.Width();
        click(kIdcTogglePanel);
        return true;
    });
    script.Add([&] {
        EXPECT_EQ(view.Text(kIdcTogglePanel), "<<");
        // 230 pixels at the template's base unit of 6, scaled to the font's.
        EXPECT_EQ(view.Width(), wide + (230 * view.DialogBaseUnitX() + 3) / 6);
        click(kIdcTogglePanel);
        return true;
    });
    script.Add([&] {
        EXPECT_EQ(view.Width(), wide);
        RECT client, chip;
        GetClientRect(dlg, &client);
        GetWindowRect(view.Control(kIdcChipType), &chip);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&chip), 2);
        EXPECT_GE(chip.left, client.right);
        // The mode change: Erase takes no file, Dump does.
        choose(kIdcMode, 1);
        EXPECT_EQ(view.Text(kIdcOperation), "&Erase");
        EXPECT_FALSE(view.Enabled(kIdcBrowse));
        choose(kIdcMode, 2);
        EXPECT_EQ(view.Text(kIdcOperation), "D&ump");
        EXPECT_TRUE(view.Enabled(kIdcBrowse));
        // The simulated board is the chosen port.
        const int port = view.Selection(kIdcSerialPort);
        EXPECT_GE(port, 0);
        if (port >= 0) {
            EXPECT_NE(view.ItemText(kIdcSerialPort, port).find("Simulated board"),
                      std::string::npos);
        }
        return true;
    });
    operate(0, (dir / "image.bin").string());
    script.Add([&] {
        const std::vector<uint8_t> flash = board.Flash();
        EXPECT_EQ(std::string(flash.begin() + 0x130000, flash.begin() + 0x130000 + 20000), image);
        return true;
    });
    operate(1, "");
    operate(2, (dir / "dump.bin").string());

    view.SetOnShown([&](HWND) { script.Start(view); });
    ASSERT_EQ(view.Run() >= 0, true);
    prompt.Close();
    std::ifstream in(dir / "dump.bin", std::ios::binary);
    const std::string dumped((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    // Erased after the Download: the Dump reads the section empty.
    EXPECT_EQ(dumped, std::string(0x8000, '\xFF'));
    EXPECT_EQ(board.Operations(), 3u);
}

// The platform's messages of the conveniences: a device that comes (WM_DEVICECHANGE) is listed,
// a file dropped on the window (WM_DROPFILES) is the chosen one.
TEST(LoaderWindowWin32, DeviceChangeAndDroppedFile) {
    const fs::path dir = fs::temp_directory_path() / "pelorin-window-drop";
    fs::create_directories(dir);
    const fs::path file = dir / "dropped.bin";
    std::ofstream(file, std::ios::binary) << std::string(4096, 'x');
    _putenv_s("PELORIN_PORT_MAP", "140=\\\\.\\COM140");

    DialogViewWin32 view;
    MemoryProfile profile;
    Answers answers;
    ThreadPrompt prompt(answers, [&] { view.Post([&] { prompt.ShowNext(); }); });
    LoaderDlgSetup setup;
    setup.programPath = ProgramFile();
    setup.profile = &profile;
    setup.fileDialogs = &answers;
    setup.prompt = &prompt;
    setup.sink = &view.Sink();
    setup.tempBase = dir.string();
    CLoaderDlg logic(setup, view);
    app::LogicEvents events(logic);
    view.SetEvents(&events);

    auto listed = [&](const char* name) {
        return SendDlgItemMessageA(view.Window(), kIdcSerialPort, CB_FINDSTRING, WPARAM(-1),
                                   LPARAM(name)) != CB_ERR;
    };
    Script script;
    script.Add([&] {
        EXPECT_TRUE(listed("COM140"));
        EXPECT_FALSE(listed("COM150"));
        _putenv_s("PELORIN_PORT_MAP", "140=\\\\.\\COM140;150=\\\\.\\COM150");
        SendMessageW(view.Window(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        return true;
    });
    script.Add([&] { return listed("COM150"); });
    script.Add([&] {
        const std::wstring path = file.wstring();
        const size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
        HGLOBAL drop = GlobalAlloc(GHND, bytes);
        auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        std::copy(path.begin(), path.end(), reinterpret_cast<wchar_t*>(files + 1));
        GlobalUnlock(drop);
        SendMessageW(view.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
        EXPECT_EQ(fs::path(logic.FilePath()), file);
        EXPECT_EQ(fs::path(view.Text(kIdcFile)), file);
        return true;
    });
    view.SetOnShown([&](HWND) { script.Start(view); });
    ASSERT_EQ(view.Run() >= 0, true);
    prompt.Close();
    _putenv_s("PELORIN_PORT_MAP", "");
    EXPECT_EQ(answers.Shown(), "");
}

}  // namespace
}  // namespace pelorin::ui
