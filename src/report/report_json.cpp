// SPDX-License-Identifier: Apache-2.0
// The JSON report: one object, {"targets":[...],"skipped_lines":N,...}.
#include "framework/json_text.h"
#include "report/report_formats.h"

namespace {
std::string Time(time_t t) {
    return "\"" + FormatLocalTime(t) + "\"";
}

std::string OptionalTime(const std::optional<time_t>& t) {
    return t ? Time(*t) : "null";
}

std::string Spans(const std::vector<CReportSpan>& spans) {
    std::string json = "[";
    for (const CReportSpan& span : spans) {
        if (json.size() > 1)
            json += ",";
        json += "{\"start\":" + Time(span.m_tStart) +
                ",\"end\":" + (span.m_bOpen ? "null" : Time(span.m_tEnd)) +
                ",\"seconds\":" + std::to_string(span.Seconds()) +
                ",\"records\":" + std::to_string(span.m_nRecords) + "}";
    }
    return json + "]";
}

std::string Target(const CTargetFacts& target, time_t tNow) {
    const bool answers = target.HasAnswers();
    static const std::vector<CReportSpan> kNone;
    return "{\"address\":" + JsonString(target.m_strAddress) +
           ",\"mode\":" + std::to_string(target.m_nMode) +
           ",\"port\":" + std::to_string(target.m_nPort) +
           ",\"records\":" + std::to_string(target.m_nRecords) +
           ",\"failures\":" + std::to_string(target.m_nFailures) +
           ",\"availability\":" + (answers ? FormatPercent(target.Availability()) : "null") +
           ",\"outages\":" + Spans(answers ? target.m_outages : kNone) +
           ",\"first\":" + Time(target.m_tFirst) + ",\"last\":" + Time(target.m_tLast) +
           ",\"seconds_since_last\":" + std::to_string(tNow - target.m_tLast) +
           ",\"down_seconds\":" + (answers ? std::to_string(target.DownSeconds()) : "null") +
           ",\"longest_seconds\":" + std::to_string(target.LongestSeconds()) +
           ",\"answers_logged\":" + (answers ? "true" : "false") +
           ",\"failure_runs\":" + Spans(answers ? kNone : target.m_runs) +
           ",\"run_spacing_seconds\":" + (answers ? "null" : std::to_string(target.m_nSpacing)) +
           "}";
}
} // namespace

std::string JsonReport(const CReport& report) {
    std::string json = "{\"targets\":[";
    for (const CTargetFacts& target : report.m_targets) {
        if (&target != &report.m_targets.front())
            json += ",";
        json += Target(target, report.m_tNow);
    }
    json += "],\"skipped_lines\":" + std::to_string(report.m_nSkipped) + ",\"first_skipped\":";
    json += report.m_nSkipped ? "{\"file\":" + JsonString(report.m_strSkippedFile) +
                                    ",\"line\":" + std::to_string(report.m_nSkippedLine) + "}"
                              : std::string("null");
    json += ",\"clock_set_back_records\":" + std::to_string(report.m_nClamped) +
            ",\"since\":" + OptionalTime(report.m_since) +
            ",\"until\":" + OptionalTime(report.m_until) + "}\n";
    return json;
}
