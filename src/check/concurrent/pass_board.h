// SPDX-License-Identifier: Apache-2.0
// CPassBoard: what the event loops of one concurrent pass share: the targets
// in list order, which of them are taken, and the results, which leave in
// list order whichever loop finishes them.
#pragma once

#include "check/pass_outcome.h"
#include "check/target_measure.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CItem;
class CItemList;
class CStatusSink;

class CPassBoard {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // `pMeasure` (not owned; null for none): the settings of a pass that
    // measures each target's probes.
    CPassBoard(CItemList& list, CStatusSink& sink, const SMeasureSettings* pMeasure = nullptr);

    size_t Count() const { return m_items.size(); }
    const CItem& Item(size_t nRow) const { return *m_items[nRow]; }
    // Takes the next target not yet taken, in list order; kNone when all are.
    size_t TakeRow();
    bool HasUntaken() const { return m_nNextTaken.load(std::memory_order_relaxed) < Count(); }
    // Records the result of row `nRow`, then reports every row that is now
    // done with all the rows before it, in list order, each with its
    // duration and, in a pass that measures, its `measure`.
    void Complete(size_t nRow, int32_t nResult, double dSeconds,
                  const STargetMeasure& measure = {});
    bool IsMeasuring() const { return m_pMeasure != nullptr; }
    // How each target is probed: the measuring settings, or one probe.
    const SMeasureSettings& Settings() const;

    // The pass is to end at once; rows not reported stay unreported.
    void Stop() { m_bStopped.store(true, std::memory_order_relaxed); }
    bool IsStopped() const { return m_bStopped.load(std::memory_order_relaxed); }
    // Once every loop has ended.
    SPassOutcome Outcome() const;

private:
    CItemList& m_list;
    CStatusSink& m_sink;
    const SMeasureSettings* m_pMeasure;
    std::vector<CItem*> m_items;
    std::atomic<size_t> m_nNextTaken{0};
    std::atomic<bool> m_bStopped{false};

    std::mutex m_mutex;                     // guards the rest
    std::vector<int8_t> m_results;          // per row: -1 until its probe ends
    std::vector<double> m_seconds;          // per row: its probe's duration, until reported
    std::vector<STargetMeasure> m_measures; // per row, in a pass that measures, until reported
    size_t m_nNextReport = 0;
    int32_t m_allOk = 1;
};
