// SPDX-License-Identifier: Apache-2.0
#include "app/info_options.h"

#include "framework/version_text.h"

#include <cstring>

namespace {
constexpr const char* kUsage =
    "Usage: ostrel [LIST-FILE]\n"
    "   or: ostrel --help | --version\n"
    "Opens the Ostrel window, which tests a list of hosts by ICMP echo or by TCP\n"
    "connect, on demand or every few minutes, and raises alerts when one fails.\n"
    "\n"
    "  LIST-FILE  a list file (.osl) to load at start-up. All the arguments are\n"
    "             joined with single blanks into this one path, so a path with\n"
    "             blanks needs no quotes. A list saved with Start Automatically\n"
    "             checked starts monitoring at once.\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "The two options count only as the only argument.\n"
    "\n"
    "Manual: man ostrel. Lists and checks without a window: ostrel-cli --help.\n";
} // namespace

int AnswerInfoOption(int argc, const char* const* argv, std::FILE* out) {
    if (argc != 2)
        return -1;
    if (std::strcmp(argv[1], "--help") == 0)
        std::fputs(kUsage, out);
    else if (std::strcmp(argv[1], "--version") == 0)
        std::fprintf(out, "%s\n", VersionText());
    else
        return -1;
    return std::fflush(out) == 0 && !std::ferror(out) ? 0 : 1;
}
