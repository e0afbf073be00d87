// SPDX-License-Identifier: Apache-2.0
// Adds up one target's records, in time order, into its facts: counts,
// outages, and failure runs while no answer has been seen.
#pragma once

#include "report/report_facts.h"

class CTargetTally {
public:
    CTargetTally(std::string strAddress, int32_t nMode, int32_t nPort);

    // One record at time `t` (never earlier than the one before), answered or not.
    void Add(time_t t, bool bOk) {
        if (m_facts.m_nRecords++ == 0)
            m_facts.m_tFirst = t;
        m_facts.m_tLast = t;
        if (bOk) {
            if (m_bDown)
                EndOutage(t);
            if (!m_bAnswered)
                ForgetRuns();
            return;
        }
        ++m_facts.m_nFailures;
        if (!m_bDown) {
            m_bDown = true;
            m_outage = CReportSpan{t, t, 0, true};
        }
        ++m_outage.m_nRecords;
        if (!m_bAnswered)
            AddRunRecord(t);
    }
    bool Empty() const { return m_facts.m_nRecords == 0; }
    // The facts, with an outage still open at the end.
    CTargetFacts Finish();

private:
    void EndOutage(time_t t);
    void ForgetRuns();
    void AddRunRecord(time_t t);
    void SetSpacing();
    void ExtendRun(time_t t);

    // What a record changes, together.
    bool m_bDown = false;
    bool m_bAnswered = false;
    CReportSpan m_outage;
    CTargetFacts m_facts;
    // The first record times of a target without answers, until their gaps
    // give the usual spacing of its records.
    std::vector<time_t> m_sample;
    bool m_bSpacingKnown = false;
};
