// SPDX-License-Identifier: Apache-2.0
// ostrel-cli: creates, inspects and edits Ostrel list files without a window.
#include "cli/cli_commands.h"
#include "framework/command_completion.h"
#include "framework/version_text.h"

#include <clocale>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <vector>

namespace {
const CCliCommand* const kCommands[] = {
    &kShowCommand,  &kNewCommand,   &kSetCommand,    &kAddCommand,    &kRemoveCommand,
    &kCheckCommand, &kWatchCommand, &kDoctorCommand, &kReportCommand,
};

// The operands that name files, for the shell's completion.
const SOperandFiles kOperandFiles[] = {{"LIST", "*.osl"}, {"LOG", ""}};

void PrintUsage(std::FILE* stream) {
    std::string text = "usage: ostrel-cli COMMAND [--help] ...\n"
                       "       ostrel-cli --help | --version\n"
                       "commands:\n";
    for (const CCliCommand* command : kCommands)
        text += Synopsis(*command, "  ");
    text += "Exit status: 0 success, 1 check: a target did not respond (doctor: a check\n"
            "failed), 2 usage or file error, 3 malformed list file.\n";
    std::fputs(text.c_str(), stream);
}

int RunCommand(const CCliCommand& command, const std::vector<std::string>& args) {
    if (AsksForHelp(args)) {
        std::fputs(HelpText(command, "ostrel-cli").c_str(), stdout);
        return kExitOk;
    }
    CCommandLine line;
    SCommandLineError error;
    if (line.Parse(command, args, error))
        return command.m_pfnRun(command, line);
    CommandError(command, error.strWhat, error.strWhy);
    // After a mistake in the command line's form, its right form.
    if (error.bUsage)
        std::fputs(Synopsis(command, "usage: ostrel-cli ").c_str(), stderr);
    return kExitUsage;
}

int Dispatch(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string_view first = argv[1];
    if (first == "--help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (first == "--version") {
        PrintLine(stdout, VersionText());
        return kExitOk;
    }
    // Not in the usage: the build writes the shell's completion with it.
    if (first == "--bash-completion") {
        const std::vector<const SCommandSpec*> specs(std::begin(kCommands), std::end(kCommands));
        std::fputs(BashCompletion("ostrel-cli", specs, kOperandFiles).c_str(), stdout);
        return kExitOk;
    }
    for (const CCliCommand* command : kCommands)
        if (first == command->pszName)
            return RunCommand(*command, {argv + 2, argv + argc});
    PrintLine(stderr, "ostrel-cli: " + VisibleSystemText(argv[1]) + ": unknown command");
    PrintUsage(stderr);
    return kExitUsage;
}
} // namespace

int main(int argc, char** argv) {
    // Only the character type: numbers and messages stay as the C locale
    // writes them.
    std::setlocale(LC_CTYPE, "");
    ChooseTerminalEncoding();
    int rc = Dispatch(argc, argv);
    // Output that could not be written is a failure, not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("ostrel-cli: standard output");
        rc = rc ? rc : kExitUsage;
    }
    return rc;
}
