// SPDX-License-Identifier: Apache-2.0
// ostrel-cli remove: removes one target from a list.
#include "cli/cli_commands.h"
#include "framework/integer_text.h"
#include "storage/list_file.h"

namespace {
int RunRemove(const CCliCommand& command, const CCommandLine& parsed) {
    const std::optional<int32_t> number = ReadIntegerText(parsed.Operands()[1]);
    if (!number)
        return CommandError(command, "N",
                            "expected an integer, got \"" + parsed.Operands()[1] + "\"");

    CListFileUpdate file(parsed.Operands()[0]);
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(file, list))
        return rc;
    if (*number < 1 || static_cast<size_t>(*number) > list->GetCount())
        return CommandError(command, "",
                            "there is no target " + std::to_string(*number) + "; the list has " +
                                std::to_string(list->GetCount()));
    POSITION pos = list->GetHeadPosition();
    for (int32_t n = 1; n < *number; ++n)
        list->GetNext(pos);
    list->RemoveAt(pos);
    return SaveListForCli(file, *list);
}
} // namespace

const CCliCommand kRemoveCommand = {
    {"remove",
     {},
     {},
     "LIST N",
     "Removes the N-th target of the list file LIST, counting from 1 as show does.\n",
     ""},
    RunRemove,
};
