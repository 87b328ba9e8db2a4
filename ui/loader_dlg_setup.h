// What the main window needs from the program that runs it. Tests fill it with their own
// profile, prompt and file dialogs.
#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>

#include "session/operator_prompt.h"
#include "session/target_images.h"
#include "ui/file_dialogs.h"
#include "ui/profile.h"

namespace pelorin::ui {

// A device that is no port of the computer but is listed as one (the simulated board).
struct ExtraPort {
    std::string devicePath;
    std::string description;
};

struct LoaderDlgSetup {
    // The program file: the layout it carries becomes the working layout.
    std::filesystem::path programPath;
    Profile* profile = nullptr;            // required
    const TargetImages* images = nullptr;  // null: the built-in images
    IFileDialogs* fileDialogs = nullptr;   // null: the toolkit's dialogs
    IOperatorPrompt* prompt = nullptr;  // null: message boxes; only called on the window's thread
    // The About box; it reports through the window's prompt.
    std::function<void(QWidget& owner, IOperatorPrompt& prompt)> showAbout;
    // Starts the layout helper's command line; null: the platform's program start.
    std::function<bool(const std::string& commandLine, std::string* error)> startProgram;
    std::vector<ExtraPort> extraPorts;
    std::string tempBase;  // where the per-user working folder goes; empty: the system's choice
};

}  // namespace pelorin::ui
