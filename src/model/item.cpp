#include "model/item.h"

#include "framework/archive.h"

IMPLEMENT_SERIAL(CItem, CObject, 0)

void CItem::Serialize(CArchive& ar) {
    if (ar.IsStoring())
        ar << m_bOk << m_nMode << m_strAddress << m_nPort;
    else
        ar >> m_bOk >> m_nMode >> m_strAddress >> m_nPort;
}
