// SPDX-License-Identifier: Apache-2.0
#include "model/item_list.h"

#include "framework/archive.h"

IMPLEMENT_SERIAL(CItemList, CObList, 0)

void CItemList::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_bPopup << m_strSound << m_strExecute << m_nPeriod << m_bAutoStart << m_nLogging
           << m_strLogFile;
        ar.WriteCount(static_cast<uint32_t>(GetCount()));
        ar.ReserveObjects(GetCount() + 1); // the targets and their class
        for (POSITION pos = GetHeadPosition(); pos;)
            ar.WriteObject(GetNext(pos));
    } else {
        ar >> m_bPopup >> m_strSound >> m_strExecute >> m_nPeriod >> m_bAutoStart >> m_nLogging >>
            m_strLogFile;
        for (uint32_t n = ar.ReadCount(); n > 0; --n)
            AddTail(static_cast<CItem*>(ar.ReadNewObject(RUNTIME_CLASS(CItem))));
    }
}
