// SPDX-License-Identifier: Apache-2.0
// ostrel-cli set: changes a list's settings.
#include "cli/cli_commands.h"
#include "storage/list_file.h"

#include <optional>

namespace {
constexpr std::pair<int32_t, int32_t> kPeriodRange{1, 100000};

std::optional<int32_t> OnOff(const std::string& text) {
    if (text == "on")
        return 1;
    if (text == "off")
        return 0;
    return std::nullopt;
}

std::optional<int32_t> Logging(const std::string& text) {
    if (text == "never")
        return kLogNever;
    if (text == "on-failure")
        return kLogOnFailure;
    if (text == "always")
        return kLogAlways;
    return std::nullopt;
}

// The new settings as read from the options; unset ones stay as they are.
struct CSettingsChange {
    std::optional<int32_t> popup, period, autostart, logging;
    std::optional<std::string> sound, execute, logFile;

    void ApplyTo(CItemList& list) const {
        list.m_bPopup = popup.value_or(list.m_bPopup);
        list.m_strSound = sound.value_or(list.m_strSound);
        list.m_strExecute = execute.value_or(list.m_strExecute);
        list.m_nPeriod = period.value_or(list.m_nPeriod);
        list.m_bAutoStart = autostart.value_or(list.m_bAutoStart);
        list.m_nLogging = logging.value_or(list.m_nLogging);
        list.m_strLogFile = logFile.value_or(list.m_strLogFile);
    }
};

// Reads the options into `change`; returns kExitOk or the exit code after
// reporting the first bad value.
int ReadChange(const CCliCommand& command, const CCliArgs& parsed, CSettingsChange& change) {
    if (auto v = parsed.Value("--popup"); v && !(change.popup = OnOff(*v)))
        return UsageError(command, "--popup takes on or off");
    if (auto v = parsed.Value("--autostart"); v && !(change.autostart = OnOff(*v)))
        return UsageError(command, "--autostart takes on or off");
    if (auto v = parsed.Value("--logging"); v && !(change.logging = Logging(*v)))
        return UsageError(command, "--logging takes never, on-failure or always");
    if (auto v = parsed.Value("--period");
        v && !(change.period = ReadIntegerOption(*v, kPeriodRange)))
        return kExitUsage;
    change.sound = parsed.Value("--sound");
    change.execute = parsed.Value("--execute");
    change.logFile = parsed.Value("--log-file");
    return kExitOk;
}

int RunSet(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {},
                               {"--popup", "--sound", "--execute", "--period", "--autostart",
                                "--logging", "--log-file"},
                               1, "one LIST", parsed))
        return *rc;
    CSettingsChange change;
    if (int rc = ReadChange(command, parsed, change))
        return rc;

    CListFileUpdate file(parsed.Operands()[0]);
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(file, list))
        return rc;
    change.ApplyTo(*list);
    return SaveListForCli(file, *list);
}
} // namespace

const CCliCommand kSetCommand = {
    "set",
    "usage: ostrel-cli set LIST [--popup on|off] [--sound PATH] [--execute CMDLINE]\n"
    "                           [--period MINUTES] [--autostart on|off]\n"
    "                           [--logging never|on-failure|always] [--log-file PATH]\n"
    "Changes the named settings of the list file LIST and saves it; with no\n"
    "option it saves the list unchanged. A file that holds no list counts as the\n"
    "default list. The period is an integer from 1 to 100000.\n",
    RunSet,
};
