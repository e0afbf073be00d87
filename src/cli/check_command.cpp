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

const SCommandOption kOptions[] = {
    FlagOption("--json", "print each line as a JSON object instead:\n"
                         "{\"row\":R,\"address\":S,\"mode\":N,\"port\":N,\"ok\":0|1,\"ms\":F}\n"
                         "and, measuring, \"sent\":N,\"received\":N,\"loss_pct\":F,\n"
                         "\"rtt_ms\":F,\"rtt_min_ms\":F,\"rtt_max_ms\":F (null when none "
                         "answered) and \"failed_by\":null|\"loss\"|\"rtt\""),
};

int RunCheck(const CCliCommand&, const CCommandLine& parsed) {
    std::unique_ptr<CItemList> list;
    if (int rc = LoadListOrDefaultForCli(parsed.Operands()[0], list))
        return rc;
    CProbeLinePrinter printer(*list, parsed.Has("--json"));
    const std::optional<SMeasureSettings> measure = MeasureSettings(parsed);
    const SMeasureSettings* pMeasure = measure ? &*measure : nullptr;
    return RunListPass(*list, printer, *parsed.Integer("--jobs"), -1, pMeasure).allOk
               ? kExitOk
               : kExitNoResponse;
}
} // namespace

const CCliCommand kCheckCommand = {
    {"check", kOptions, kProbeOptions, "LIST",
     "Tests every target of the list file LIST once, as Ping Now does, and appends\n"
     "log records as the list's logging settings say. Prints one line per target, in\n"
     "list order, as soon as it and every target before it are done: the row (from 1),\n"
     "the address, ICMP or the port, Yes or No, and the probe's duration. The list\n"
     "file is not changed.\n",
     OSTREL_MEASURE_NOTE
     "Exit status: 0 every target responded (also for an empty list), 1 some target\n"
     "did not, 2 usage or file error, 3 malformed list file.\n"},
    RunCheck,
};
