// What the main window's logic needs from the program that runs it. Tests fill it with their
// own profile, prompt, file dialogs and program start.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_enum.h"
#include "serial/serial_port.h"
#include "session/operator_prompt.h"
#include "session/session_sink.h"
#include "session/target_images.h"
#include "ui/dialog/file_dialogs.h"
#include "ui/dialog/profile.h"

namespace pelorin::ui {

// A device that is no port of the computer but is listed as one (the simulated board).
struct ExtraPort {
    std::string devicePath;
    std::string description;
};

struct LoaderDlgSetup {
    // The program file: the layout it carries becomes the working layout; its base name
    // captions the file-error box, as the framework names the program.
    std::filesystem::path programPath;
    IProfile* profile = nullptr;           // required
    const TargetImages* images = nullptr;  // null: the built-in images
    IFileDialogs* fileDialogs = nullptr;   // required
    // The operator's boxes; callable from any thread (the view brings them to its own).
    IOperatorPrompt* prompt = nullptr;  // required
    // Where the worker's notifications go: the view turns each into a call of Dispatch on the
    // window's thread.
    ISessionSink* sink = nullptr;  // required
    // Starts the layout helper's command line; null: the platform's program start.
    std::function<bool(const std::string& commandLine, std::string* error)> startProgram;
    // Makes the port the worker owns; null: the computer's serial port.
    std::function<std::unique_ptr<ISerialPort>()> makePort;
    std::vector<ExtraPort> extraPorts;
    // Lists the ports present; null: the computer's.
    std::function<std::vector<SerialPortInfo>()> listPorts;
    std::string tempBase;  // where the per-user working folder goes; empty: the system's choice
};

}  // namespace pelorin::ui
