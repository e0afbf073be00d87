// SPDX-License-Identifier: Apache-2.0
// Reads log files into a report: records merged by time across the files,
// grouped by target, in the range and for the target asked for.
#pragma once

#include "report/report_facts.h"

#include <optional>
#include <string>
#include <vector>

struct CReportFilter {
    std::optional<time_t> m_since, m_until; // inclusive
    std::optional<std::string> m_strAddress;
    std::optional<int32_t> m_nPort;
};

// Reads `paths` into `report`. Returns an empty string, or "PATH: WHY" for a
// file that cannot be opened or read.
std::string ReadLogs(const std::vector<std::string>& paths, const CReportFilter& filter,
                     CReport& report);
