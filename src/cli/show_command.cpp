// SPDX-License-Identifier: Apache-2.0
// ostrel-cli show: prints a list's settings and targets, for people or as JSON.
#include "cli/cli_commands.h"
#include "framework/json_text.h"

#include <cstdio>
#include <string>

namespace {
std::string LoggingName(int32_t nLogging) {
    switch (nLogging) {
    case kLogNever:
        return "Never";
    case kLogOnFailure:
        return "On failure";
    case kLogAlways:
        return "Always";
    default:
        return std::to_string(nLogging);
    }
}

void PrintSetting(const char* name, const std::string& value) {
    std::printf("%-21s %s\n", name, value.c_str());
}

void PrintText(const CItemList& list) {
    PrintSetting("Popup alert:", list.m_bPopup ? "On" : "Off");
    PrintSetting("Sound alert:", VisibleText(list.m_strSound));
    PrintSetting("Execute alert:", VisibleText(list.m_strExecute));
    PrintSetting("Period (minutes):", std::to_string(list.m_nPeriod));
    PrintSetting("Start automatically:", list.m_bAutoStart ? "Yes" : "No");
    PrintSetting("Logging:", LoggingName(list.m_nLogging));
    PrintSetting("Log file:", VisibleText(list.m_strLogFile));
    std::printf("\n%5s  %-6s  %-3s  %s\n", "#", "Port", "OK", "Address");
    int row = 1;
    for (POSITION pos = list.GetHeadPosition(); pos; ++row) {
        const CItem* item = list.GetNext(pos);
        const std::string port = item->IsIcmp() ? "ICMP" : std::to_string(item->m_nPort);
        std::printf("%5d  %-6s  %-3s  %s\n", row, port.c_str(), item->m_bOk ? "Yes" : "No",
                    VisibleText(item->m_strAddress).c_str());
    }
    if (list.IsEmpty())
        std::printf("(no targets)\n");
}

void PrintJson(const CItemList* list) {
    if (!list) {
        std::printf("null\n");
        return;
    }
    std::string json = "{\"popup\":" + std::to_string(list->m_bPopup) +
                       ",\"sound\":" + JsonString(list->m_strSound) +
                       ",\"execute\":" + JsonString(list->m_strExecute) +
                       ",\"period\":" + std::to_string(list->m_nPeriod) +
                       ",\"autostart\":" + std::to_string(list->m_bAutoStart) +
                       ",\"logging\":" + std::to_string(list->m_nLogging) +
                       ",\"log_file\":" + JsonString(list->m_strLogFile) + ",\"targets\":[";
    const char* separator = "";
    for (POSITION pos = list->GetHeadPosition(); pos;) {
        const CItem* item = list->GetNext(pos);
        json += separator;
        json += "{\"ok\":" + std::to_string(item->m_bOk) +
                ",\"mode\":" + std::to_string(item->m_nMode) +
                ",\"address\":" + JsonString(item->m_strAddress) +
                ",\"port\":" + std::to_string(item->m_nPort) + "}";
        separator = ",";
    }
    json += "]}\n";
    std::fwrite(json.data(), 1, json.size(), stdout);
}

int RunShow(const CCliCommand&, const CCommandLine& parsed) {
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListForCli(parsed.Operands()[0], list))
        return rc;
    if (parsed.Has("--json"))
        PrintJson(list.get());
    else if (list)
        PrintText(*list);
    else
        std::printf("The file holds no list.\n");
    return kExitOk;
}

const SCommandOption kOptions[] = {
    FlagOption("--json", "print one line of JSON instead (null for a file that holds no list)"),
};
} // namespace

const CCliCommand kShowCommand = {
    {"show",
     kOptions,
     {},
     "LIST",
     "Prints the settings and the targets of the list file LIST, numbered from 1.\n",
     ""},
    RunShow,
};
