// SPDX-License-Identifier: Apache-2.0
// ostrel-cli remove: removes one target from a list.
#include "cli/cli_commands.h"
#include "storage/list_file.h"

namespace {
int RunRemove(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {}, {}, 2, "LIST and N", parsed))
        return *rc;
    std::optional<int32_t> number = ReadIntegerOption(parsed.Operands()[1], std::nullopt);
    if (!number)
        return kExitUsage;

    CListFileUpdate file(parsed.Operands()[0]);
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(file, list))
        return rc;
    if (*number < 1 || static_cast<size_t>(*number) > list->GetCount())
        return InputError("ostrel-cli remove: there is no target " + std::to_string(*number) +
                          "; the list has " + std::to_string(list->GetCount()));
    POSITION pos = list->GetHeadPosition();
    for (int32_t n = 1; n < *number; ++n)
        list->GetNext(pos);
    list->RemoveAt(pos);
    return SaveListForCli(file, *list);
}
} // namespace

const CCliCommand kRemoveCommand = {
    "remove",
    "usage: ostrel-cli remove LIST N\n"
    "Removes the N-th target of the list file LIST, counting from 1 as show does.\n",
    RunRemove,
};
