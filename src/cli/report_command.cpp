// SPDX-License-Identifier: Apache-2.0
// ostrel-cli report: outages, availability and a timeline per target, read
// from check logs, as text, CSV, JSON or a web page.
#include "cli/cli_commands.h"
#include "report/local_clock.h"
#include "report/log_reader.h"
#include "report/report_file.h"
#include "report/report_formats.h"

#include <algorithm>
#include <cstring>

namespace {
std::optional<time_t> DateOption(const CCommandLine& parsed, const char* name, bool bEnd) {
    const std::optional<std::string> text = parsed.Value(name);
    return text ? ParseLocalDate(*text, bEnd) : std::nullopt;
}

// --target ADDRESS[:PORT], read as SplitTargetText does: the port is what
// follows the colon when that is a decimal number, else the whole text is
// the address.
void TargetOption(const CCommandLine& parsed, CReportFilter& filter) {
    const std::optional<std::string> text = parsed.Value("--target");
    if (!text)
        return;
    filter.m_strAddress = *text;
    const std::optional<STargetText> target = SplitTargetText(*text);
    if (!target)
        return;
    if (!target->port) {
        filter.m_strAddress = target->strAddress;
        return;
    }
    const std::string& port = *target->port;
    const size_t digits = port.starts_with('-') ? 1 : 0;
    if (port.size() > digits && port.size() - digits <= 9 &&
        port.find_first_not_of("0123456789", digits) == std::string::npos) {
        filter.m_nPort = std::stoi(port);
        filter.m_strAddress = target->strAddress;
    }
}

bool WriteAll(std::FILE* stream, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

int WritePage(const std::string& path, const std::string& html) {
    if (path == "-")
        return WriteAll(stdout, html) ? kExitOk : kExitUsage;
    if (const int error = WriteReportFile(path, html))
        return PrintFileError(path, std::strerror(error));
    return kExitOk;
}

bool IsDate(const std::string& text) {
    return ParseLocalDate(text, false).has_value();
}
constexpr const char* kDate = "a date YYYY-MM-DD[ HH:MM[:SS]]";

const SCommandOption kOptions[] = {
    TextOption("--since", "DATE", "only records from DATE, local time, YYYY-MM-DD[ HH:MM[:SS]]",
               IsDate, kDate),
    TextOption("--until", "DATE",
               "only records through DATE, as --since takes it; a day takes in the whole day, "
               "a minute the whole minute",
               IsDate, kDate),
    TextOption("--target", "ADDRESS[:PORT]",
               "only the targets with this address (and port); an IPv6 ADDRESS takes a port as "
               "[ADDRESS]:PORT"),
    FlagOption("--csv", "one row per target, then its outages, newest first; columns: kind "
                        "(target, outage or run), address, mode, port, start, end, seconds, "
                        "records, failures, availability, outages, down_seconds, longest_seconds")
        .InGroup(1),
    FlagOption("--json", "one object: {\"targets\":[{\"address\":S,\"mode\":N,\"port\":N,\n"
                         "\"records\":N,\"failures\":N,\"availability\":F|null,\n"
                         "\"outages\":[{\"start\":T,\"end\":T|null,\"seconds\":N,\"records\":N},\n"
                         "...],\"first\":T,\"last\":T,\"seconds_since_last\":N,\n"
                         "\"down_seconds\":N|null,\"longest_seconds\":N,\"answers_logged\":B,\n"
                         "\"failure_runs\":[...],\"run_spacing_seconds\":N|null},...],\n"
                         "\"skipped_lines\":N,\"first_skipped\":{\"file\":S,\"line\":N}|null,\n"
                         "\"clock_set_back_records\":N,\"since\":T|null,\"until\":T|null}\n"
                         "T is \"YYYY-MM-DD HH:MM:SS\" local time; an open outage has end null")
        .InGroup(1),
    PathOption("--html", "FILE",
               "write a self-contained web page instead: a timeline per target, the summary "
               "and the outages (FILE - is standard output)",
               IsFileName, "a file name")
        .InGroup(1),
};

int RunReport(const CCliCommand&, const CCommandLine& parsed) {
    CReportFilter filter;
    filter.m_since = DateOption(parsed, "--since", false);
    filter.m_until = DateOption(parsed, "--until", true);
    TargetOption(parsed, filter);

    CReport report;
    report.m_tNow = time(nullptr);
    const std::string failure = ReadLogs(parsed.Operands(), filter, report);
    if (!failure.empty()) {
        PrintLine(stderr, "ostrel-cli: " + VisibleSystemText(failure));
        return kExitUsage;
    }
    if (report.m_nSkipped)
        PrintLine(stderr, "ostrel-cli report: " + SkippedLinesNote(report));
    if (std::optional<std::string> page = parsed.Value("--html"))
        return WritePage(*page, HtmlReport(report));
    WriteAll(stdout, parsed.Has("--json")  ? JsonReport(report)
                     : parsed.Has("--csv") ? CsvReport(report)
                                           : TextReport(report));
    return kExitOk;
}
} // namespace

const CCliCommand kReportCommand = {
    {"report",
     kOptions,
     {},
     "LOG...",
     "Reads check logs (any number, in any order; - is standard input) and prints,\n"
     "per target (address, mode, port): records, failures, availability (answered\n"
     "records in percent of all), the outages (first failure to the next answer)\n"
     "with their total and longest length, and the last record; then the outages,\n"
     "newest first. A target whose log holds no answers (written \"On failure\") gets\n"
     "failure runs instead: records closer together than twice their usual spacing.\n"
     "Lines that are not records are counted and named once on standard error.\n",
     "Exit status: 0 done, 2 usage error or a log that cannot be read.\n"},
    RunReport,
};
