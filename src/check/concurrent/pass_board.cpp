// SPDX-License-Identifier: Apache-2.0
#include "check/concurrent/pass_board.h"

#include "check/check_pass.h"
#include "check/status_sink.h"
#include "model/item_list.h"

CPassBoard::CPassBoard(CItemList& list, CStatusSink& sink, const SMeasureSettings* pMeasure)
    : m_list(list), m_sink(sink), m_pMeasure(pMeasure) {
    for (POSITION pos = list.GetHeadPosition(); pos;)
        m_items.push_back(list.GetNext(pos));
    m_results.assign(m_items.size(), -1);
    m_seconds.assign(m_items.size(), 0.0);
    if (m_pMeasure)
        m_measures.assign(m_items.size(), {});
}

const SMeasureSettings& CPassBoard::Settings() const {
    static const SMeasureSettings kOneProbe;
    return m_pMeasure ? *m_pMeasure : kOneProbe;
}

SPassOutcome CPassBoard::Outcome() const {
    SPassOutcome outcome;
    outcome.allOk = m_allOk;
    outcome.bStopped = IsStopped();
    return outcome;
}

size_t CPassBoard::TakeRow() {
    if (!HasUntaken())
        return kNone; // keeps the counter from running past the end
    size_t nRow = m_nNextTaken.fetch_add(1, std::memory_order_relaxed);
    return nRow < Count() ? nRow : kNone;
}

// The reports go out under the lock, so they stay in order and one at a
// time, whichever loop's result let them go.
void CPassBoard::Complete(size_t nRow, int32_t nResult, double dSeconds,
                          const STargetMeasure& measure) {
    std::lock_guard lock(m_mutex);
    m_results[nRow] = static_cast<int8_t>(nResult);
    m_seconds[nRow] = dSeconds;
    if (m_pMeasure)
        m_measures[nRow] = measure;
    while (m_nNextReport < Count() && m_results[m_nNextReport] >= 0 && !IsStopped()) {
        const size_t nReport = m_nNextReport++;
        SRowResult result{m_results[nReport], m_seconds[nReport]};
        if (m_pMeasure)
            result.measure = m_measures[nReport];
        ReportProbeResult(m_list, *m_items[nReport], static_cast<int>(nReport), result, &m_sink,
                          m_allOk);
    }
}
