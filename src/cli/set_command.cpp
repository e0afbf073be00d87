// SPDX-License-Identifier: Apache-2.0
// ostrel-cli set: changes a list's settings.
#include "cli/cli_commands.h"
#include "storage/list_file.h"

namespace {
// The words of --logging, in the order of their values.
static_assert(kLogNever == 0 && kLogOnFailure == 1 && kLogAlways == 2);

const SCommandOption kOptions[] = {
    ChoiceOption("--popup", "on|off", "the popup alert on a failed scheduled pass"),
    PathOption("--sound", "PATH", "the .wav played on a failed scheduled pass; empty: none"),
    TextOption("--execute", "CMDLINE", "the command run on a failed scheduled pass; empty: none"),
    IntegerOption("--period", "MINUTES", "the minutes between scheduled passes", 1, 100000),
    ChoiceOption("--autostart", "on|off",
                 "start monitoring when the window loads the list at start-up"),
    ChoiceOption("--logging", "never|on-failure|always", "which results go to the log file"),
    PathOption("--log-file", "PATH", "the file the log records are appended to; empty: none"),
};

int RunSet(const CCliCommand&, const CCommandLine& parsed) {
    CListFileUpdate file(parsed.Operands()[0]);
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(file, list))
        return rc;
    // Of on|off, "on" comes first.
    if (std::optional<int> nWord = parsed.Choice("--popup"))
        list->m_bPopup = *nWord == 0;
    if (std::optional<int> nWord = parsed.Choice("--autostart"))
        list->m_bAutoStart = *nWord == 0;
    list->m_nLogging = parsed.Choice("--logging").value_or(list->m_nLogging);
    list->m_nPeriod = parsed.Integer("--period").value_or(list->m_nPeriod);
    list->m_strSound = parsed.Value("--sound").value_or(list->m_strSound);
    list->m_strExecute = parsed.Value("--execute").value_or(list->m_strExecute);
    list->m_strLogFile = parsed.Value("--log-file").value_or(list->m_strLogFile);
    return SaveListForCli(file, *list);
}
} // namespace

const CCliCommand kSetCommand = {
    {"set",
     kOptions,
     {},
     "LIST",
     "Changes the named settings of the list file LIST and saves it; with no\n"
     "option it saves the list unchanged. A file that holds no list counts as the\n"
     "default list.\n",
     ""},
    RunSet,
};
