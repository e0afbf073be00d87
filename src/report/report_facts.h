// SPDX-License-Identifier: Apache-2.0
// What a report states: per target, its records, failures, outages or
// failure runs, and over all logs, the lines that were not records.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// An outage (failed records from the first failure to the next answer) or a
// failure run (failures close together in a log that holds no answers).
struct CReportSpan {
    time_t m_tStart = 0;
    // The answer that ended an outage; for an open outage or a run, the last
    // failed record in it.
    time_t m_tEnd = 0;
    int64_t m_nRecords = 0; // failed records in it
    bool m_bOpen = false;   // an outage no answer has ended yet

    int64_t Seconds() const { return m_tEnd - m_tStart; }
};

// One target of the logs: an address (its \xNN escapes decoded), a mode and
// a port, and what its records in range say.
struct CTargetFacts {
    // The counts first: a record changes them, beside the tally's own state.
    time_t m_tFirst = 0;
    time_t m_tLast = 0;
    int64_t m_nRecords = 0;
    int64_t m_nFailures = 0;
    std::string m_strAddress;
    int32_t m_nMode = 0;
    int32_t m_nPort = 0;
    std::vector<CReportSpan> m_outages; // oldest first
    // Only for a target whose records hold no answer (a log written "On
    // failure"), with the usual spacing of its records.
    std::vector<CReportSpan> m_runs;
    int64_t m_nSpacing = 0;

    bool HasAnswers() const { return m_nRecords > m_nFailures; }
    // Answered records in percent of all records.
    double Availability() const;
    int64_t DownSeconds() const;
    int64_t LongestSeconds() const;
    // The outages, or the failure runs of a target that has no answers.
    const std::vector<CReportSpan>& Spans() const { return HasAnswers() ? m_outages : m_runs; }
};

struct CReport {
    std::vector<CTargetFacts> m_targets; // by address, mode, port
    int64_t m_nSkipped = 0;              // lines that are not records
    std::string m_strSkippedFile;        // where the first of them is
    int64_t m_nSkippedLine = 0;
    int64_t m_nClamped = 0; // records stamped before the record above them
    time_t m_tNow = 0;
    std::optional<time_t> m_since, m_until;

    // The first and last record of all targets (0, 0 when none).
    std::pair<time_t, time_t> RecordRange() const;
    // The outages (or runs) of all targets, newest first.
    std::vector<std::pair<const CTargetFacts*, const CReportSpan*>> NewestFirst() const;
};

// `t` as local time, "YYYY-MM-DD HH:MM:SS".
std::string FormatLocalTime(time_t t);
// A length of time, "HH:MM:SS", with "Nd " before it from a day on.
std::string FormatDuration(int64_t seconds);
// A percentage with up to four decimals, trailing zeros dropped: "99.5".
std::string FormatPercent(double percent);
// "ICMP" for mode 0, "TCP" for 1, "TCP (mode N)" for any other mode, which
// the probes treat as TCP.
std::string ProbeName(int32_t nMode);
