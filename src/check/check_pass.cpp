// SPDX-License-Identifier: Apache-2.0
#include "check/check_pass.h"

#include "check/check_log.h"
#include "check/status_sink.h"
#include "model/item_list.h"

#include <atomic>
#include <chrono>
#include <string>

CCheckPassState CheckPassState;

namespace {
bool IsLogRecordDue(int32_t nLogging, int32_t nResult) {
    return (nLogging == kLogOnFailure && nResult == 0) || nLogging == kLogAlways;
}
} // namespace

void ReportProbeResult(CItemList& list, CItem& item, int nRow, const SRowResult& result,
                       CStatusSink* pSink, int32_t& allOk) {
    const int32_t nResult = result.nResult;
    std::atomic_ref<int32_t>(item.m_bOk).store(nResult, std::memory_order_relaxed);
    if (nResult == 0)
        allOk = 0;
    int32_t nLogging = std::atomic_ref<int32_t>(list.m_nLogging).load(std::memory_order_relaxed);
    if (IsLogRecordDue(nLogging, nResult) && !list.m_strLogFile.empty() && !list.IsLogFileHeld())
        AppendLogRecord(list.m_strLogFile, item, nResult);
    if (pSink)
        pSink->ShowResult(nRow, result);
}

unsigned int CheckThreadProc(void* /*pParam*/) {
    CItemList* pList = CheckPassState.list;
    if (!pList)
        return 0;
    int nRow = 0;
    for (POSITION pos = pList->GetHeadPosition(); pos; ++nRow) {
        CItem* pItem = pList->GetNext(pos);
        auto start = std::chrono::steady_clock::now();
        int32_t nResult = pItem->Probe();
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        ReportProbeResult(*pList, *pItem, nRow, SRowResult{nResult, elapsed.count()},
                          CheckPassState.listView, CheckPassState.allOk);
    }
    return 0;
}
