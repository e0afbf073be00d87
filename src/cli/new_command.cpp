// SPDX-License-Identifier: Apache-2.0
// ostrel-cli new: writes a list with the default settings and no targets.
#include "cli/cli_commands.h"

namespace {
int RunNew(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {}, {}, 1, "one LIST", parsed))
        return *rc;
    return SaveListForCli(parsed.Operands()[0], CItemList());
}
} // namespace

const CCliCommand kNewCommand = {
    "new",
    "usage: ostrel-cli new LIST\n"
    "Writes a new list with the default settings and no targets to LIST,\n"
    "replacing any file there.\n",
    RunNew,
};
