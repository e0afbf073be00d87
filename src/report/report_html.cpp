// SPDX-License-Identifier: Apache-2.0
// The web page: one self-contained XHTML file (CSS and SVG inline, no
// script) with a timeline per target, the summary table and the outages.
#include "report/html_timeline.h"
#include "report/report_formats.h"

#include <algorithm>

namespace {
const char kHead[] = R"(<!DOCTYPE html>
<html xmlns="http://www.w3.org/1999/xhtml" lang="en">
<head>
<meta charset="utf-8"/>
<meta name="viewport" content="width=device-width, initial-scale=1"/>
<title>Ostrel connection report</title>
<style>
body{font:15px/1.45 system-ui,sans-serif;color:#222;max-width:70em;margin:1em auto;padding:0 1em}
h1{font-size:1.5em;margin:.2em 0}h2{font-size:1.2em;margin:1.4em 0 .4em}
.note{color:#555}
.target{margin:.5em 0 .8em;break-inside:avoid}
.name{font-weight:600;overflow-wrap:anywhere}.name span{font-weight:normal;color:#555}
svg.timeline{display:block;width:100%;height:1.3em;background:#eceff1;border:1px solid #cfd8dc}
.axis{display:flex;justify-content:space-between;font-size:.8em;color:#555}
.key span{display:inline-block;width:1em;height:.8em;margin:0 .3em 0 1em;vertical-align:middle}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
table{font-size:.93em}th,td{padding:.2em .45em;border-bottom:1px solid #ddd;text-align:right;white-space:nowrap}
th:first-child,td:first-child{text-align:left}
th{background:#f5f5f5}
.open{color:#c62828;font-weight:600}
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
@media print{body{max-width:none;margin:0;font-size:10pt}.scroll{overflow:visible}
tr{break-inside:avoid}h2{break-after:avoid}}
@media (max-width:40em){body{font-size:13px;padding:0 .4em}th,td{padding:.2em .35em}}
</style>
</head>
<body>
)";

std::string Cell(const std::string& html) {
    return "<td>" + html + "</td>";
}

std::string Probe(const CTargetFacts& target) {
    return HtmlText(ProbeName(target.m_nMode) + " " + std::to_string(target.m_nPort));
}

std::string Available(const CTargetFacts& target) {
    return target.HasAnswers() ? FormatPercent(target.Availability()) + " %" : "no answers";
}

std::string Timelines(const CReport& report, time_t from, time_t to) {
    std::string html = "<h2>Timeline</h2>\n<p class=\"key\"><span style=\"background:#2e7d32\">"
                       "</span>answered<span style=\"background:#c62828\"></span>down (failure "
                       "run where the log holds no answers)<span style=\"background:#9e9e9e\">"
                       "</span>failures only logged</p>\n";
    html += "<div class=\"axis\"><span>" + FormatLocalTime(from) + "</span><span>" +
            FormatLocalTime(to) + "</span></div>\n";
    for (const CTargetFacts& target : report.m_targets)
        html += "<div class=\"target\"><div class=\"name\">" + HtmlText(target.m_strAddress) +
                " <span>" + Probe(target) + " &#183; " + Available(target) + "</span></div>" +
                TimelineSvg(target, from, to) + "</div>\n";
    return html;
}

std::string Summary(const CReport& report) {
    std::string html = "<h2>Summary</h2>\n<div class=\"scroll\"><table>\n<tr><th>Address</th>"
                       "<th>Probe</th><th>Records</th><th>Failures</th><th>Available</th>"
                       "<th>Outages</th><th>Down total</th><th>Longest</th><th>Last record</th>"
                       "</tr>\n";
    for (const CTargetFacts& target : report.m_targets) {
        const bool answers = target.HasAnswers();
        html += "<tr>" + Cell(HtmlText(target.m_strAddress)) + Cell(Probe(target)) +
                Cell(std::to_string(target.m_nRecords)) + Cell(std::to_string(target.m_nFailures)) +
                Cell(Available(target)) +
                Cell(answers ? std::to_string(target.m_outages.size()) : "-") +
                Cell(answers ? FormatDuration(target.DownSeconds()) : "-") +
                Cell(answers ? FormatDuration(target.LongestSeconds()) : "-") +
                Cell(FormatLocalTime(target.m_tLast)) + "</tr>\n";
    }
    return html + "</table></div>\n";
}

std::string Outages(const CReport& report) {
    std::string html = "<h2>Outages and failure runs, newest first</h2>\n<div class=\"scroll\">"
                       "<table>\n<tr><th>Target</th><th>Kind</th><th>Start</th><th>End</th>"
                       "<th>Length</th><th>Records</th></tr>\n";
    for (const auto& [target, span] : report.NewestFirst())
        html += "<tr>" + Cell(HtmlText(target->m_strAddress) + " " + Probe(*target)) +
                Cell(target->HasAnswers() ? "outage" : "failure run") +
                Cell(FormatLocalTime(span->m_tStart)) +
                (span->m_bOpen ? std::string("<td class=\"open\">still open</td>")
                               : Cell(FormatLocalTime(span->m_tEnd))) +
                Cell(FormatDuration(span->Seconds())) + Cell(std::to_string(span->m_nRecords)) +
                "</tr>\n";
    return html + "</table></div>\n";
}
} // namespace

std::string HtmlReport(const CReport& report) {
    auto [from, to] = report.RecordRange();
    from = report.m_since.value_or(from);
    to = report.m_until.value_or(to);
    std::string html = kHead;
    html += "<h1>Connection report</h1>\n<p class=\"note\">Records from " + FormatLocalTime(from) +
            " to " + FormatLocalTime(to) + ", " + std::to_string(report.m_targets.size()) +
            " targets. Availability is answered records in percent of all records; an outage "
            "runs from the first failure to the next answer. Point at a bar for its times.</p>\n";
    if (report.m_nSkipped)
        html += "<p class=\"note\">" + std::to_string(report.m_nSkipped) +
                " lines were not records and were skipped (the first: " +
                HtmlText(report.m_strSkippedFile) + " line " +
                std::to_string(report.m_nSkippedLine) + ").</p>\n";
    html += Timelines(report, from, to) + Summary(report) + Outages(report);
    return html + "</body>\n</html>\n";
}
