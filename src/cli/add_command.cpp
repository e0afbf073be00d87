// SPDX-License-Identifier: Apache-2.0
// ostrel-cli add: appends a target to a list.
#include "cli/cli_commands.h"
#include "storage/list_file.h"

namespace {
const SCommandOption kOptions[] = {
    FlagOption("--icmp", "an ICMP echo instead").InGroup(1),
    IntegerOption("--tcp", "PORT", "a TCP connect to PORT", 1, 65535, CItem().m_nPort).InGroup(1),
};

int RunAdd(const CCliCommand&, const CCommandLine& parsed) {
    auto item = std::make_unique<CItem>();
    item->m_strAddress = parsed.Operands()[1];
    item->m_nMode = parsed.Has("--icmp") ? kProbeIcmp : kProbeTcp;
    item->m_nPort = *parsed.Integer("--tcp");

    CListFileUpdate file(parsed.Operands()[0]);
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(file, list))
        return rc;
    list->AddTail(item.release());
    return SaveListForCli(file, *list);
}
} // namespace

const CCliCommand kAddCommand = {
    {"add",
     kOptions,
     {},
     "LIST ADDRESS",
     "Appends a target to the list file LIST: by default a TCP connect to port 80.\n"
     "A file that holds no list counts as the default list.\n",
     ""},
    RunAdd,
};
