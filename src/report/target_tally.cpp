// SPDX-License-Identifier: Apache-2.0
#include "report/target_tally.h"

#include <algorithm>

namespace {
// How many records the usual spacing is taken from (their median gap).
constexpr size_t kSpacingSample = 1024;
} // namespace

CTargetTally::CTargetTally(std::string strAddress, int32_t nMode, int32_t nPort) {
    m_facts.m_strAddress = std::move(strAddress);
    m_facts.m_nMode = nMode;
    m_facts.m_nPort = nPort;
}

void CTargetTally::EndOutage(time_t t) {
    m_outage.m_tEnd = t;
    m_outage.m_bOpen = false;
    m_facts.m_outages.push_back(m_outage);
    m_bDown = false;
}

void CTargetTally::ForgetRuns() {
    m_bAnswered = true;
    std::vector<time_t>().swap(m_sample);
    std::vector<CReportSpan>().swap(m_facts.m_runs);
}

void CTargetTally::AddRunRecord(time_t t) {
    if (m_bSpacingKnown) {
        ExtendRun(t);
        return;
    }
    m_sample.push_back(t);
    if (m_sample.size() > kSpacingSample)
        SetSpacing();
}

void CTargetTally::SetSpacing() {
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < m_sample.size(); ++i)
        gaps.push_back(m_sample[i] - m_sample[i - 1]);
    if (!gaps.empty()) {
        std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2),
                         gaps.end());
        m_facts.m_nSpacing = gaps[gaps.size() / 2];
    }
    m_bSpacingKnown = true;
    for (time_t t : m_sample)
        ExtendRun(t);
    std::vector<time_t>().swap(m_sample);
}

void CTargetTally::ExtendRun(time_t t) {
    std::vector<CReportSpan>& runs = m_facts.m_runs;
    // Records closer together than twice the usual spacing belong to one
    // run; with no spacing (all at one second), records a second apart.
    if (!runs.empty() && t - runs.back().m_tEnd < 2 * std::max<int64_t>(m_facts.m_nSpacing, 1)) {
        runs.back().m_tEnd = t;
        ++runs.back().m_nRecords;
    } else {
        runs.push_back(CReportSpan{t, t, 1, false});
    }
}

CTargetFacts CTargetTally::Finish() {
    if (m_bDown) {
        m_outage.m_tEnd = m_facts.m_tLast;
        m_facts.m_outages.push_back(m_outage);
        m_bDown = false;
    }
    if (!m_bAnswered && !m_bSpacingKnown)
        SetSpacing();
    return std::move(m_facts);
}
