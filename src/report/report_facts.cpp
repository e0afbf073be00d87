// SPDX-License-Identifier: Apache-2.0
#include "report/report_facts.h"

#include <algorithm>
#include <cstdio>

double CTargetFacts::Availability() const {
    return m_nRecords ? 100.0 * static_cast<double>(m_nRecords - m_nFailures) /
                            static_cast<double>(m_nRecords)
                      : 0.0;
}

int64_t CTargetFacts::DownSeconds() const {
    int64_t total = 0;
    for (const CReportSpan& span : m_outages)
        total += span.Seconds();
    return total;
}

int64_t CTargetFacts::LongestSeconds() const {
    int64_t longest = 0;
    for (const CReportSpan& span : Spans())
        longest = std::max(longest, span.Seconds());
    return longest;
}

std::pair<time_t, time_t> CReport::RecordRange() const {
    if (m_targets.empty())
        return {0, 0};
    std::pair<time_t, time_t> range{m_targets[0].m_tFirst, m_targets[0].m_tLast};
    for (const CTargetFacts& target : m_targets) {
        range.first = std::min(range.first, target.m_tFirst);
        range.second = std::max(range.second, target.m_tLast);
    }
    return range;
}

std::vector<std::pair<const CTargetFacts*, const CReportSpan*>> CReport::NewestFirst() const {
    std::vector<std::pair<const CTargetFacts*, const CReportSpan*>> spans;
    for (const CTargetFacts& target : m_targets)
        for (const CReportSpan& span : target.Spans())
            spans.emplace_back(&target, &span);
    std::stable_sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) {
        return a.second->m_tStart > b.second->m_tStart;
    });
    return spans;
}

std::string FormatLocalTime(time_t t) {
    tm local{};
    if (!localtime_r(&t, &local))
        return "?";
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string FormatDuration(int64_t seconds) {
    char text[48];
    const long long s = seconds;
    if (s >= 86400)
        std::snprintf(text, sizeof text, "%lldd %02lld:%02lld:%02lld", s / 86400, s / 3600 % 24,
                      s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string FormatPercent(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", percent);
    std::string shown = text;
    while (shown.back() == '0')
        shown.pop_back();
    if (shown.back() == '.')
        shown.pop_back();
    return shown;
}

std::string ProbeName(int32_t nMode) {
    if (nMode == 0)
        return "ICMP";
    if (nMode == 1)
        return "TCP";
    return "TCP (mode " + std::to_string(nMode) + ")";
}
