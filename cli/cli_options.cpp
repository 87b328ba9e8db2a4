// Command-line parsing.
#include "cli/cli_options.h"

#include <strings.h>
#include <algorithm>
#include <charconv>
#include <iterator>
#include <string>
#include <vector>

#include "config/compression.h"
#include "session/chip_types.h"

namespace pelorin::cli {
namespace {

struct CommandName {
    const char* name;
    Command command;
};
constexpr CommandName kCommands[] = {
    {"download", Command::Download}, {"erase", Command::Erase},
    {"dump", Command::Dump},         {"ports", Command::Ports},
    {"chips", Command::Chips},       {"sections", Command::Sections},
    {"help", Command::Help},         {"--help", Command::Help},
    {"-h", Command::Help},           {"version", Command::Version},
    {"--version", Command::Version},
};

// Options that take a value.
constexpr const char* kValueOptions[] = {
    "--port",   "--chip",   "--xtal",    "--mem-type", "--mem-size", "--sdram-mode", "--section",
    "--layout", "--images", "--give-up", "--tick-ms",  "--log",      "--compression"};

bool TakesValue(const std::string& name) {
    for (const char* option : kValueOptions)
        if (name == option) return true;
    return false;
}

template <size_t N>
std::optional<unsigned> IndexOf(const char* const (&names)[N], const std::string& value) {
    for (size_t i = 0; i < N; ++i)
        if (strcasecmp(names[i], value.c_str()) == 0) return unsigned(i);
    return std::nullopt;
}

std::optional<unsigned> ParseUnsigned(const std::string& text) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string Choices(const char* const* names, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += (i ? ", " : "") + std::string(names[i]);
    return out;
}

// "--port A,B" and repeated --port options add ports in order; each port once.
std::string AddPorts(CliOptions& options, const std::string& value) {
    size_t start = 0;
    while (start <= value.size()) {
        const size_t end = std::min(value.find(',', start), value.size());
        const std::string port = value.substr(start, end - start);
        if (port.empty()) return "--port needs a port name, not '" + value + "'";
        if (std::find(options.ports.begin(), options.ports.end(), port) != options.ports.end())
            return "port " + port + " is given twice";
        options.ports.push_back(port);
        start = end + 1;
    }
    options.port = options.ports.front();
    return {};
}

// Applies one "--name value" option; returns an error text or empty.
std::string ApplyValue(CliOptions& options, const std::string& name, const std::string& value) {
    if (name == "--port") {
        return AddPorts(options, value);
    } else if (name == "--chip") {
        auto position = ChipPositionForName(value);
        if (!position) return "unknown chip type '" + value + "' (see: pelorin-cli chips)";
        options.chipPosition = *position;
    } else if (name == "--xtal") {
        std::string mhz = value;
        if (mhz.size() > 3 && strcasecmp(mhz.c_str() + mhz.size() - 3, "MHz") == 0)
            mhz.resize(mhz.size() - 3);
        auto index = IndexOf(kCrystalNames, mhz);
        if (!index)
            return "--xtal must be one of " + Choices(kCrystalNames, std::size(kCrystalNames)) +
                   " (MHz)";
        options.crystalKhz = kCrystalKhz[*index];
    } else if (name == "--mem-type") {
        auto index = IndexOf(kMemoryTypeNames, value);
        if (!index) return "--mem-type must be SDRAM or DDRAM";
        options.memoryType = uint8_t(*index);
    } else if (name == "--mem-size") {
        auto index = IndexOf(kMemorySizeNames, value);
        if (!index)
            return "--mem-size must be one of " +
                   Choices(kMemorySizeNames, std::size(kMemorySizeNames));
        options.memorySize = uint8_t(*index);
    } else if (name == "--sdram-mode") {
        auto index = IndexOf(kSdramModeNames, value);
        if (!index) return "--sdram-mode must be full-page or burst";
        options.sdramMode = uint8_t(*index);
    } else if (name == "--section") {
        options.section = value;
    } else if (name == "--layout") {
        options.layoutFile = value;
    } else if (name == "--log") {
        if (value.empty()) return "--log needs a file name";
        options.logFile = value;
    } else if (name == "--compression") {
        options.compression = CompressionForName(value);
        if (!options.compression) return "--compression must be default or best";
    } else if (name == "--images") {
        options.imagesDir = value;
    } else if (name == "--give-up" || name == "--tick-ms") {
        auto number = ParseUnsigned(value);
        if (!number || (name == "--tick-ms" && *number == 0)) return name + " needs a number";
        if (name == "--give-up" && *number > kMaxGiveUpSeconds)
            return "--give-up may be at most " + std::to_string(kMaxGiveUpSeconds) + " seconds";
        (name == "--give-up" ? options.giveUpSeconds : options.tickMs) = *number;
    } else {
        return "unknown option " + name;
    }
    return {};
}

// The production-line options fit only some commands: a dump of several boards would write one
// file several times.
std::string CheckLineOptions(const CliOptions& options) {
    if (options.verify && options.command != Command::Download)
        return "--verify goes with download only";
    if (options.repeat && options.command == Command::Dump)
        return "--repeat goes with download and erase";
    if (options.command == Command::Dump && options.ports.size() > 1)
        return "dump takes one --port";
    if (options.compression && options.command != Command::Download)
        return "--compression goes with download only";
    return {};
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    CliOptions options;
    for (const std::string& arg : args) {
        if (arg == "--") break;
        result.json = result.json || arg == "--json";
    }
    if (args.empty()) {
        result.noArguments = true;
        result.error = "no command given";
        return result;
    }
    bool known = false;
    for (const CommandName& c : kCommands)
        if (args[0] == c.name) options.command = c.command, known = true;
    if (!known) {
        result.error =
            (args[0].rfind("-", 0) == 0 ? "unknown option '" : "unknown command '") + args[0] + "'";
        return result;
    }
    result.command = options.command;
    std::vector<std::string> positional;
    bool optionsEnded = false;  // after "--" every argument is positional
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded) {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.helpFor = options.command;
            options.command = Command::Help;
            result.options = options;
            return result;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--repeat") {
            options.repeat = true;
        } else if (arg == "--verify") {
            options.verify = true;
        } else if (arg.rfind("--", 0) == 0) {
            std::string name = arg, value;
            if (auto eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            }
            if (!TakesValue(name)) {
                result.error = "unknown option " + name;
                return result;
            }
            const bool inline_ = arg.find('=') != std::string::npos;
            if (!inline_ && i + 1 >= args.size()) {
                result.error = arg + " needs a value";
                return result;
            }
            if (!inline_) value = args[++i];
            if (std::string error = ApplyValue(options, name, value); !error.empty()) {
                result.error = error;
                return result;
            }
        } else {
            positional.push_back(arg);
        }
    }
    const bool needsFile = options.command == Command::Download || options.command == Command::Dump;
    if (positional.size() > (needsFile ? 1u : 0u)) {
        result.error = "unexpected argument '" + positional.back() + "'";
        return result;
    }
    if (needsFile) {
        if (positional.empty()) {
            result.error = options.command == Command::Download
                               ? "download needs FILE, the file to write into the section"
                               : "dump needs OUTFILE, the file the section is read into";
            return result;
        }
        options.file = positional[0];
    }
    // A wrong default would erase or overwrite the boot loader: these two must name it.
    if ((options.command == Command::Download || options.command == Command::Erase) &&
        options.section.empty()) {
        result.error = std::string(options.command == Command::Download ? "download" : "erase") +
                       " needs --section NAME (see: pelorin-cli sections)";
        return result;
    }
    if ((options.command == Command::Download || options.command == Command::Erase ||
         options.command == Command::Dump) &&
        options.port.empty()) {
        result.error = "no port given: use --port PORT (see: pelorin-cli ports)";
        return result;
    }
    if (std::string error = CheckLineOptions(options); !error.empty()) {
        result.error = error;
        return result;
    }
    result.options = options;
    return result;
}

namespace {

// What "best" compresses with in this build: a build without libdeflate uses zlib's best.
#ifdef PELORIN_NO_LIBDEFLATE
const std::string kBestCompressionText = "zlib level 9";
#else
const std::string kBestCompressionText = "libdeflate level " + std::to_string(kBestDeflateLevel);
#endif

constexpr unsigned Bit(Command command) {
    return 1u << unsigned(command);
}
// The general help lists the options marked with Command::Help.
constexpr unsigned kGeneral = Bit(Command::Help);
constexpr unsigned kOperations = Bit(Command::Download) | Bit(Command::Erase) | Bit(Command::Dump);

// One option in the help texts and the commands that take it. Further lines of `text` start
// at the text column.
struct OptionHelp {
    const char* usage;
    std::string text;
    unsigned commands;
};

std::vector<OptionHelp> OptionHelps() {
    return {
        {"--port PORT[,PORT...]",
         "COMn, a port number, or a device path (required to run an operation);\n"
         "several ports (the option repeated, or a comma list) run one\n"
         "board each at once",
         kGeneral | Bit(Command::Download) | Bit(Command::Erase)},
        {"--port PORT", "COMn, a port number, or a device path (required)", Bit(Command::Dump)},
        {"--chip NAME", "QV101 ... QV119 (default QV101)", kGeneral | kOperations},
        {"--xtal MHZ", "27, 13.5, 16, 8 or 4 (default 27)", kGeneral | kOperations},
        {"--mem-type TYPE", "SDRAM or DDRAM (default SDRAM)", kGeneral | kOperations},
        {"--mem-size SIZE", "64Mbit, 128Mbit, 256Mbit or 512Mbit (default 64Mbit)",
         kGeneral | kOperations},
        {"--sdram-mode MODE", "full-page or burst (default full-page)", kGeneral | kOperations},
        {"--section NAME", "flash section (required for download and erase; dump: the first)",
         kGeneral | kOperations},
        {"--layout FILE", "segment layout text (default: the program's own, else the built-in one)",
         kGeneral | kOperations},
        {"--images DIR", "replace the built-in loader images with the files in DIR",
         kGeneral | kOperations},
        {"--repeat",
         "after each board, wait for the next board on that port (until\n"
         "Ctrl+C) and count passed and failed boards",
         kGeneral | Bit(Command::Download) | Bit(Command::Erase)},
        {"--verify",
         "after a download, reset the board, read the section back and\n"
         "compare it with what was written",
         kGeneral | Bit(Command::Download)},
        {"--log FILE",
         "append one CSV row per board operation to FILE (checked before\n"
         "any board; a row that cannot be written stops the line)",
         kGeneral | kOperations},
        {"--compression LEVEL",
         "default (zlib level 6) or best (" + kBestCompressionText +
             "); default:\n"
             "the layout's [Config] Compression, else default",
         kGeneral | Bit(Command::Download)},
        {"--give-up SECONDS",
         "after a time-out message, give up this much later (default 30,\n"
         "at most 86400)",
         kGeneral | kOperations},
        {"--quiet, -q", "print only errors and the result", kGeneral | kOperations},
        {"--json", "one JSON object per event on standard output", kGeneral | kOperations},
        {"--",
         "end of the options: what follows is the file, even if it begins\n"
         "with '-'",
         kGeneral | Bit(Command::Download) | Bit(Command::Dump)},
    };
}

// The options one command takes, one column for their names and one for their texts.
std::string OptionsText(Command command) {
    constexpr size_t kNameWidth = 21;
    const std::string indent(2 + kNameWidth + 2, ' ');
    std::string out;
    for (const OptionHelp& option : OptionHelps()) {
        if (!(option.commands & Bit(command))) continue;
        std::string name = option.usage;
        name.resize(std::max(name.size(), kNameWidth), ' ');
        std::string text = option.text;
        for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += indent.size())
            text.insert(++at, indent);
        out += "  " + name + "  " + text + "\n";
    }
    return out;
}

}  // namespace

std::string UsageText() {
    return R"(Usage: pelorin-cli COMMAND [OPTIONS]

Commands:
  download FILE     write FILE into the chosen flash section
  erase             erase the chosen flash section
  dump OUTFILE      read the chosen flash section into OUTFILE
  ports             list the serial ports
  chips             list the chip types
  sections          list the flash sections of the layout
  version           print the version

Options:
)" + OptionsText(Command::Help) +
           R"(
Exit status: 0 after "Mission completed"; 2 bad arguments or file (also a --log that is no
regular file one may write); 3 the port cannot be opened; 4 the target timed out; 5 transfer
error; 6 the serial device went away; 7 the board's flash differs from what was written
(--verify); 8 a board's row could not be written to the log; 130 cancelled (Ctrl+C, SIGTERM,
hang-up). With several boards: 0 when every board completed, else the most severe of the boards'
statuses, in this order: 8, 7, 5, 4, 6, 3, 2, 130. With --repeat, boards that Ctrl+C cancelled
do not count: 0 when every board that finished passed.

'pelorin-cli COMMAND --help' describes one command.
)";
}

namespace {

struct CommandHelp {
    Command command;
    const char* name;
    const char* text;
};

constexpr CommandHelp kCommandHelp[] = {
    {Command::Download, "download",
     "Usage: pelorin-cli download FILE --port PORT[,PORT...] --section NAME [OPTIONS]\n\n"
     "Writes FILE into the flash section NAME. FILE must be a regular, non-empty file no longer\n"
     "than the section, unless it is a whole-flash image (the section is then cut out of it).\n"},
    {Command::Erase, "erase",
     "Usage: pelorin-cli erase --port PORT[,PORT...] --section NAME [OPTIONS]\n\n"
     "Erases the flash section NAME.\n"},
    {Command::Dump, "dump",
     "Usage: pelorin-cli dump OUTFILE --port PORT [--section NAME] [OPTIONS]\n\n"
     "Reads the flash section (default: the first of the layout) into OUTFILE. OUTFILE is\n"
     "replaced only when the whole section arrived; a dump that ends short keeps what came as\n"
     "OUTFILE.partial.\n"},
    {Command::Ports, "ports", "Usage: pelorin-cli ports [--json]\n\nLists the serial ports.\n"},
    {Command::Chips, "chips", "Usage: pelorin-cli chips [--json]\n\nLists the chip types.\n"},
    {Command::Sections, "sections",
     "Usage: pelorin-cli sections [--layout FILE] [--json]\n\nLists the flash sections.\n"},
    {Command::Version, "version",
     "Usage: pelorin-cli version\n\nPrints the program's name and version.\n"},
};

const CommandHelp* HelpOf(Command command) {
    for (const CommandHelp& help : kCommandHelp)
        if (help.command == command) return &help;
    return nullptr;
}

}  // namespace

std::string CommandHelpText(Command command) {
    const CommandHelp* help = HelpOf(command);
    if (!help) return UsageText();
    std::string text = help->text;
    if (command == Command::Download || command == Command::Erase || command == Command::Dump)
        text += "\nOptions:\n" + OptionsText(command) +
                "\nExit status and the production line: see pelorin-cli --help.\n";
    return text;
}

std::string HelpPointer(Command command) {
    const CommandHelp* help = HelpOf(command);
    return std::string("Try 'pelorin-cli ") + (help ? std::string(help->name) + " " : "") +
           "--help'.";
}

}  // namespace pelorin::cli
