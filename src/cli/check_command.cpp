// SPDX-License-Identifier: Apache-2.0
// ostrel-cli check: one check pass over a list file's targets, as Ping Now
// runs it, printing each target's result as it goes out.
#include "check/pass_engine.h"
#include "cli/cli_commands.h"
#include "cli/probe_lines.h"
#include "cli/probe_options.h"

#include <memory>
#include <string>

namespace {
// Some target did not respond.
constexpr int kExitNoResponse = 1;

int RunCheck(const CCliCommand& command, const std::vector<std::string>& args) {
    CCliArgs parsed;
    if (auto rc = StartCommand(command, args, {"--json"}, {"--jobs", OSTREL_MEASURE_OPTIONS}, 1,
                               "one LIST", parsed))
        return *rc;
    std::optional<int> nJobs = ReadJobsOption(parsed);
    std::optional<SMeasureSettings> measure;
    if (!nJobs || !ReadMeasureOptions(parsed, measure))
        return kExitUsage;

    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(parsed.Operands()[0], list))
        return rc;
    CProbeLinePrinter printer(*list, parsed.Has("--json"));
    const SMeasureSettings* pMeasure = measure ? &*measure : nullptr;
    return RunListPass(*list, printer, *nJobs, -1, pMeasure).allOk ? kExitOk : kExitNoResponse;
}
} // namespace

const CCliCommand kCheckCommand = {
    "check",
    "usage: ostrel-cli check [--jobs N] [--json] LIST\n"
    "       ostrel-cli check [--jobs N] [--json] [--count N] [--interval MS]\n"
    "                        [--max-loss PCT] [--max-rtt MS] [--timeout SECONDS] LIST\n"
    "Tests every target of the list file LIST once, as Ping Now does, and appends\n"
    "log records as the list's logging settings say. Prints one line per target, in\n"
    "list order, as soon as it and every target before it are done: the row (from 1),\n"
    "the address, ICMP or the port, Yes or No, and the probe's duration. The list\n"
    "file is not changed.\n"
    "  --jobs N  keep up to N probes in flight at once (1 to 65536; default 1, one\n"
    "            after the other); each probe and the output are the same\n"
    "  --json    print each line as a JSON object instead:\n"
    "            {\"row\":R,\"address\":S,\"mode\":N,\"port\":N,\"ok\":0|1,\"ms\":F}\n"
    "            and, measuring, \"sent\":N,\"received\":N,\"loss_pct\":F,\"rtt_ms\":F,\n"
    "            \"rtt_min_ms\":F,\"rtt_max_ms\":F (null when none answered) and\n"
    "            \"failed_by\":null|\"loss\"|\"rtt\"\n" OSTREL_MEASURE_HELP
    "Exit status: 0 every target responded (also for an empty list), 1 some target\n"
    "did not, 2 usage or file error, 3 malformed list file.\n",
    RunCheck,
};
