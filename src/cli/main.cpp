// SPDX-License-Identifier: Apache-2.0
// ostrel-cli: creates, inspects and edits Ostrel list files without a window.
#include "cli/cli_commands.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {
const CCliCommand* const kCommands[] = {
    &kShowCommand,   &kNewCommand,   &kSetCommand,   &kAddCommand,
    &kRemoveCommand, &kCheckCommand, &kWatchCommand, &kDoctorCommand, &kReportCommand,
};

void PrintUsage(std::FILE* stream) {
    std::fputs("usage: ostrel-cli COMMAND [--help] ...\ncommands:\n", stream);
    // Each command's own synopsis: the first line of its usage text.
    for (const CCliCommand* command : kCommands) {
        std::string_view synopsis = command->m_lpszUsage;
        synopsis = synopsis.substr(0, synopsis.find('\n'));
        if (synopsis.starts_with("usage: "))
            synopsis.remove_prefix(7);
        std::fprintf(stream, "  %.*s\n", static_cast<int>(synopsis.size()), synopsis.data());
    }
    std::fputs("Exit status: 0 success, 1 check: a target did not respond (doctor: a check "
               "failed), 2 usage or file error, 3 malformed list file.\n",
               stream);
}

int Dispatch(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const CCliCommand* command : kCommands)
        if (std::strcmp(argv[1], command->m_lpszName) == 0)
            return command->m_pfnRun(*command, std::vector<std::string>(argv + 2, argv + argc));
    std::fprintf(stderr, "ostrel-cli: unknown command %s\n", argv[1]);
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
