#include "check/concurrent/pass_board.h"

#include "check/check_pass.h"
#include "model/item_list.h"

CPassBoard::CPassBoard(CItemList& list, CStatusSink& sink) : m_list(list), m_sink(sink) {
    for (POSITION pos = list.GetHeadPosition(); pos;)
        m_items.push_back(list.GetNext(pos));
    m_results.assign(m_items.size(), -1);
    m_seconds.assign(m_items.size(), 0.0);
}

size_t CPassBoard::TakeRow() {
    if (!HasUntaken())
        return kNone; // keeps the counter from running past the end
    size_t nRow = m_nNextTaken.fetch_add(1, std::memory_order_relaxed);
    return nRow < Count() ? nRow : kNone;
}

// The reports go out under the lock, so they stay in order and one at a
// time, whichever loop's result let them go.
void CPassBoard::Complete(size_t nRow, int32_t nResult, double dSeconds) {
    std::lock_guard lock(m_mutex);
    m_results[nRow] = static_cast<int8_t>(nResult);
    m_seconds[nRow] = dSeconds;
    while (m_nNextReport < Count() && m_results[m_nNextReport] >= 0 && !IsStopped()) {
        const size_t nReport = m_nNextReport++;
        ReportProbeResult(m_list, *m_items[nReport], static_cast<int>(nReport), m_results[nReport],
                          m_seconds[nReport], &m_sink, m_allOk);
    }
}
