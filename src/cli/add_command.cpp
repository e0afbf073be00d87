// SPDX-License-Identifier: Apache-2.0
// ostrel-cli add: appends a target to a list.
#include "cli/cli_commands.h"
#include "storage/list_file.h"

namespace {
int RunAdd(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {"--icmp"}, {"--tcp"}, 2, "LIST and ADDRESS", parsed))
        return *rc;
    if (parsed.Has("--icmp") && parsed.Has("--tcp"))
        return UsageError(command, "--icmp and --tcp exclude each other");

    auto item = std::make_unique<CItem>();
    item->m_strAddress = parsed.Operands()[1];
    if (parsed.Has("--icmp"))
        item->m_nMode = kProbeIcmp;
    if (auto port = parsed.Value("--tcp")) {
        std::optional<int32_t> value = ReadIntegerOption(*port, std::nullopt);
        if (!value)
            return kExitUsage;
        item->m_nPort = *value;
    }

    CListFileUpdate file(parsed.Operands()[0]);
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(file, list))
        return rc;
    list->AddTail(item.release());
    return SaveListForCli(file, *list);
}
} // namespace

const CCliCommand kAddCommand = {
    "add",
    "usage: ostrel-cli add LIST [--icmp | --tcp PORT] ADDRESS\n"
    "Appends a target to the list file LIST: by default a TCP connect to port 80,\n"
    "with --icmp an ICMP echo, with --tcp a TCP connect to PORT (any integer).\n"
    "A file that holds no list counts as the default list.\n",
    RunAdd,
};
