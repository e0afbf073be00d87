// SPDX-License-Identifier: Apache-2.0
#include "check/concurrent/probe_series.h"

#include <algorithm>

void CProbeSeries::Begin(const SMeasureSettings& settings) {
    m_pSettings = &settings;
    m_nTaken = m_nEnded = 0;
    m_measure = {};
    m_probes.assign(static_cast<size_t>(settings.nCount), {});
}

CProbeSeries::Clock::time_point CProbeSeries::NextEchoDue() {
    m_nextDue += m_pSettings->interval;
    return m_nextDue;
}

CProbeSeries::Clock::time_point CProbeSeries::NextConnectDue(uint16_t nProbe,
                                                             Clock::time_point now) const {
    return std::max(StartedAt(nProbe) + m_pSettings->interval, now);
}

void CProbeSeries::Started(uint16_t nProbe, Clock::time_point at, int64_t nRealNs) {
    m_probes[nProbe].nRealNs = nRealNs;
    m_probes[nProbe].nStartNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

bool CProbeSeries::IsRunning(uint16_t nProbe) const {
    return nProbe < m_nTaken && m_probes[nProbe].nStartNs >= 0;
}

CProbeSeries::Clock::time_point CProbeSeries::StartedAt(uint16_t nProbe) const {
    return Clock::time_point{std::chrono::nanoseconds(m_probes[nProbe].nStartNs)};
}

bool CProbeSeries::End(uint16_t nProbe, bool bAnswered, double dRtt) {
    m_probes[nProbe].nStartNs = -1;
    if (bAnswered)
        m_measure.AddAnswer(dRtt);
    return ++m_nEnded >= m_pSettings->nCount;
}

int32_t CProbeSeries::Judge() {
    m_measure.nSent = m_nTaken;
    return JudgeTarget(m_measure, *m_pSettings);
}

STargetMeasure CProbeSeries::Measure() const {
    STargetMeasure measure = m_measure;
    measure.nSent = m_nTaken;
    return measure;
}
