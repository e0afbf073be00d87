// SPDX-License-Identifier: Apache-2.0
// The text report: a summary table, one row per target, then the outages
// and failure runs, newest first.
#include "framework/terminal_text.h"
#include "report/report_formats.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {
void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

std::string Probe(const CTargetFacts& target) {
    return ProbeName(target.m_nMode) + " " + std::to_string(target.m_nPort);
}

// `text` with blanks after it up to `width` columns on the terminal.
std::string PaddedRight(std::string text, size_t width) {
    text.append(width - std::min(width, VisibleWidth(text)), ' ');
    return text;
}

void AppendSummary(std::string& out, const CReport& report) {
    size_t width = 7;
    for (const CTargetFacts& target : report.m_targets)
        width =
            std::max(width, std::min<size_t>(VisibleWidth(VisibleText(target.m_strAddress)), 40));
    out += PaddedRight("Address", width);
    Append(out, "  %-9s %9s %9s  %-10s %7s %12s %12s  %s\n", "Probe", "Records", "Failures",
           "Available", "Outages", "Down total", "Longest", "Last record");
    for (const CTargetFacts& target : report.m_targets) {
        const bool answers = target.HasAnswers();
        const std::string available =
            answers ? FormatPercent(target.Availability()) + " %" : "no answers";
        out += PaddedRight(VisibleText(target.m_strAddress), width);
        Append(out, "  %-9s %9lld %9lld  %-10s %7s %12s %12s  %s (%s ago)\n", Probe(target).c_str(),
               static_cast<long long>(target.m_nRecords),
               static_cast<long long>(target.m_nFailures), available.c_str(),
               answers ? std::to_string(target.m_outages.size()).c_str() : "-",
               answers ? FormatDuration(target.DownSeconds()).c_str() : "-",
               answers ? FormatDuration(target.LongestSeconds()).c_str() : "-",
               FormatLocalTime(target.m_tLast).c_str(),
               FormatDuration(std::max<int64_t>(report.m_tNow - target.m_tLast, 0)).c_str());
    }
}

void AppendSpans(std::string& out, const CReport& report, bool bOutages) {
    std::string rows;
    for (const auto& [target, span] : report.NewestFirst()) {
        if (target->HasAnswers() != bOutages)
            continue;
        const std::string end = span->m_bOpen ? "still open" : FormatLocalTime(span->m_tEnd);
        Append(rows, "%-19s  %-19s  %12s %8lld  %s %s\n", FormatLocalTime(span->m_tStart).c_str(),
               end.c_str(), FormatDuration(span->Seconds()).c_str(),
               static_cast<long long>(span->m_nRecords), VisibleText(target->m_strAddress).c_str(),
               Probe(*target).c_str());
    }
    if (rows.empty())
        return;
    out += bOutages ? "\nOutages, newest first:\n"
                    : "\nFailure runs, newest first (targets whose "
                      "log holds no answers):\n";
    Append(out, "%-19s  %-19s  %12s %8s  %s\n", "Start", bOutages ? "End" : "Last failure",
           "Length", "Records", "Target");
    out += rows;
}
} // namespace

std::string TextReport(const CReport& report) {
    std::string out;
    const auto [first, last] = report.RecordRange();
    if (report.m_targets.empty()) {
        out += "No records in range.\n";
        return out;
    }
    Append(out, "Records from %s to %s, %zu target%s.\n\n", FormatLocalTime(first).c_str(),
           FormatLocalTime(last).c_str(), report.m_targets.size(),
           report.m_targets.size() == 1 ? "" : "s");
    AppendSummary(out, report);
    AppendSpans(out, report, true);
    AppendSpans(out, report, false);
    if (std::any_of(report.m_targets.begin(), report.m_targets.end(),
                    [](const CTargetFacts& t) { return !t.HasAnswers(); }))
        out += "\n\"no answers\": the log holds only failures for the target (it was written \"On "
               "failure\");\nits failures are shown as runs, records closer together than twice "
               "their usual spacing.\n";
    if (report.m_nClamped)
        Append(out,
               "\n%lld records are stamped earlier than the record before them (the clock "
               "was set back)\nand are counted as at that record's time.\n",
               static_cast<long long>(report.m_nClamped));
    return out;
}

std::string SkippedLinesNote(const CReport& report) {
    return std::to_string(report.m_nSkipped) +
           (report.m_nSkipped == 1 ? " line is not a record and was"
                                   : " lines are not records and were") +
           " skipped (the first: " + VisibleText(report.m_strSkippedFile) + " line " +
           std::to_string(report.m_nSkippedLine) + ")";
}
