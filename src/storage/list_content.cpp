// SPDX-License-Identifier: Apache-2.0
#include "storage/list_content.h"

#include "framework/mem_file.h"
#include "storage/list_file.h"

namespace {
std::vector<uint8_t> ListBytes(const CItemList& list) {
    CMemFile file;
    WriteList(file, list);
    return file.Data();
}
} // namespace

// Written, read back as a copy whose statuses are cleared, and written again:
// every field the file holds takes part, whatever fields a list gains.
std::vector<uint8_t> ListContent(const CItemList& list) {
    CMemFile written(ListBytes(list));
    const std::unique_ptr<CItemList> pCopy = ReadList(written);
    for (POSITION pos = pCopy->GetHeadPosition(); pos;)
        pCopy->GetNext(pos)->m_bOk = 0;
    return ListBytes(*pCopy);
}
