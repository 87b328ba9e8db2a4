// pelorin-cli: Download, Erase and Dump from scripts and production lines.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/line_runner.h"
#include "cli/line_view.h"
#include "cli/list_commands.h"
#include "cli/operation_runner.h"
#include "config/version.h"

using namespace pelorin::cli;

int main(int argc, char** argv) {
    TakeOverCancelKeys();

    ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        if (parsed.noArguments) {
            std::fputs(UsageText().c_str(), stderr);
        } else {
            LineScreen screen(parsed.json ? ViewStyle::Json : ViewStyle::Lines, stdout, stderr,
                              {""}, false, true);
            screen.EarlyFailure(kExitBadInput, parsed.error);
            if (!parsed.json) std::fprintf(stderr, "%s\n", HelpPointer(parsed.command).c_str());
        }
        return kExitBadInput;
    }
    const CliOptions& options = *parsed.options;
    switch (options.command) {
        case Command::Help:
            std::fputs(CommandHelpText(options.helpFor).c_str(), stdout);
            return kExitOk;
        case Command::Version:
            std::printf("pelorin-cli %s\n", pelorin::GetVersionText().c_str());
            return kExitOk;
        case Command::Ports:
            return ListPorts(options, stdout);
        case Command::Chips:
            return ListChips(options, stdout);
        case Command::Sections:
            return ListSections(options, stdout, stderr);
        default:
            break;
    }
    const ViewStyle style = options.json         ? ViewStyle::Json
                            : options.quiet      ? ViewStyle::Quiet
                            : IsTerminal(stdout) ? ViewStyle::Bars
                                                 : ViewStyle::Lines;
    if (WantsLine(options)) return RunLine(options, style, stdout, stderr);
    return RunOperation(options, style, stdout, stderr);
}
