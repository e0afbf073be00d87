// SPDX-License-Identifier: Apache-2.0
#include "model/item.h"

#include "framework/archive.h"

#include <atomic>

IMPLEMENT_SERIAL(CItem, CObject, 0)

void CItem::Serialize(CArchive& ar) {
    // A save may meet a running pass, whose worker sets m_bOk.
    if (ar.IsStoring())
        ar << std::atomic_ref<int32_t>(m_bOk).load(std::memory_order_relaxed)
           << m_nMode << m_strAddress << m_nPort;
    else
        ar >> m_bOk >> m_nMode >> m_strAddress >> m_nPort;
}
