// SPDX-License-Identifier: Apache-2.0
// The running check pass: what it tests, where it shows results, how it went,
// and the worker's procedure that walks the list.
#pragma once

#include <cstdint>

class CItemList;
class CStatusSink;

// The one process-wide record of the running pass. Written before the worker
// starts; `allOk` is read only after the worker has ended. The values stay
// after a pass and are overwritten by the next.
struct CCheckPassState {
    CItemList* list = nullptr;       // the list under test, not owned
    int32_t allOk = 1;               // 1 at the start; 0 once any probe fails
    CStatusSink* listView = nullptr; // where each row's "Yes" or "No" goes, not owned
};
extern CCheckPassState CheckPassState;

// The worker's entry; `pParam` is ignored. Probes every target of
// CheckPassState.list in list order, stores each result in the target's
// m_bOk, clears allOk on a failure, appends the log records due by the list's
// logging mode and log file (read afresh for each target), then shows the
// target's row's result with its probe's duration. Returns 0.
//
// The worker writes m_bOk and reads m_nLogging through std::atomic_ref, so a
// user-interface thread may read the results or switch the logging mode
// during a pass by doing the same; nothing else of the list may change while
// the pass runs.
unsigned int CheckThreadProc(void* pParam);

class CItem;
struct SRowResult;

// What every pass does with one target's result, in list order: stores it in
// the target's m_bOk, clears `allOk` on a failure, appends the log record due
// by the list's logging mode (unless its log file is held), and shows the
// row's result through `pSink` (when given).
void ReportProbeResult(CItemList& list, CItem& item, int nRow, const SRowResult& result,
                       CStatusSink* pSink, int32_t& allOk);
