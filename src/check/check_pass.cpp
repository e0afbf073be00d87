#include "check/check_pass.h"

#include "check/check_log.h"
#include "check/status_sink.h"
#include "model/item_list.h"

#include <atomic>
#include <string>

CCheckPassState CheckPassState;

namespace {
bool IsLogRecordDue(int32_t nLogging, int32_t nResult) {
    return (nLogging == kLogOnFailure && nResult == 0) || nLogging == kLogAlways;
}
} // namespace

unsigned int CheckThreadProc(void* /*pParam*/) {
    CItemList* pList = CheckPassState.list;
    if (!pList)
        return 0;
    int nRow = 0;
    for (POSITION pos = pList->GetHeadPosition(); pos; ++nRow) {
        CItem* pItem = pList->GetNext(pos);
        int32_t nResult = pItem->Probe();
        std::atomic_ref<int32_t>(pItem->m_bOk).store(nResult, std::memory_order_relaxed);
        if (nResult == 0)
            CheckPassState.allOk = 0;
        int32_t nLogging =
            std::atomic_ref<int32_t>(pList->m_nLogging).load(std::memory_order_relaxed);
        if (IsLogRecordDue(nLogging, nResult) && !pList->m_strLogFile.empty())
            AppendLogRecord(pList->m_strLogFile, *pItem, nResult);
        if (CheckPassState.listView)
            CheckPassState.listView->SetStatusText(nRow, nResult ? "Yes" : "No");
    }
    return 0;
}
