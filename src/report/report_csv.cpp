// SPDX-License-Identifier: Apache-2.0
// The CSV report: one row per target, each followed by its outages (or
// failure runs), newest first. The kind column tells the rows apart.
#include "framework/utf8_text.h"
#include "report/report_formats.h"

#include <algorithm>

namespace {
// A field in UTF-8, quoted when it holds a comma, a quote or a blank at
// either end; control characters (and the five bytes Windows-1252 leaves
// undefined) are shown as \xNN, as the log writes them, so a row is one line.
std::string CsvField(const std::string& text) {
    std::string shown;
    AppendUtf8FromWindows1252(shown, text, EControls::kAsHex);
    if (shown.find_first_of(",\"") == std::string::npos && !shown.starts_with(' ') &&
        !shown.ends_with(' '))
        return shown;
    std::string quoted = "\"";
    for (char c : shown) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Row(std::initializer_list<std::string> fields) {
    std::string row;
    for (const std::string& field : fields) {
        if (&field != fields.begin())
            row += ',';
        row += field;
    }
    return row + "\n";
}

std::string SpanRow(const CTargetFacts& target, const CReportSpan& span) {
    return Row({target.HasAnswers() ? "outage" : "run", CsvField(target.m_strAddress),
                std::to_string(target.m_nMode), std::to_string(target.m_nPort),
                FormatLocalTime(span.m_tStart), span.m_bOpen ? "" : FormatLocalTime(span.m_tEnd),
                std::to_string(span.Seconds()), std::to_string(span.m_nRecords), "", "", "", "",
                ""});
}

std::string TargetRow(const CTargetFacts& target) {
    const bool answers = target.HasAnswers();
    return Row({"target", CsvField(target.m_strAddress), std::to_string(target.m_nMode),
                std::to_string(target.m_nPort), FormatLocalTime(target.m_tFirst),
                FormatLocalTime(target.m_tLast), std::to_string(target.m_tLast - target.m_tFirst),
                std::to_string(target.m_nRecords), std::to_string(target.m_nFailures),
                answers ? FormatPercent(target.Availability()) : "",
                std::to_string(target.Spans().size()),
                answers ? std::to_string(target.DownSeconds()) : "",
                std::to_string(target.LongestSeconds())});
}
} // namespace

std::string CsvReport(const CReport& report) {
    std::string out = "kind,address,mode,port,start,end,seconds,records,failures,availability,"
                      "outages,down_seconds,longest_seconds\n";
    for (const CTargetFacts& target : report.m_targets) {
        out += TargetRow(target);
        const std::vector<CReportSpan>& spans = target.Spans();
        for (auto span = spans.rbegin(); span != spans.rend(); ++span)
            out += SpanRow(target, *span);
    }
    return out;
}
