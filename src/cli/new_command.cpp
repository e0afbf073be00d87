// SPDX-License-Identifier: Apache-2.0
// ostrel-cli new: writes a list with the default settings and no targets.
#include "cli/cli_commands.h"

namespace {
int RunNew(const CCliCommand&, const CCommandLine& parsed) {
    return SaveListForCli(parsed.Operands()[0], CItemList());
}
} // namespace

const CCliCommand kNewCommand = {
    {"new",
     {},
     {},
     "LIST",
     "Writes a new list with the default settings and no targets to LIST,\n"
     "replacing any file there.\n",
     ""},
    RunNew,
};
