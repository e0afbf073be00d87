// SPDX-License-Identifier: Apache-2.0
#include "report/target_table.h"

int32_t CTargetTable::Insert(std::string_view key, int32_t nValue) {
    auto bytes = std::make_unique<char[]>(key.size());
    std::memcpy(bytes.get(), key.data(), key.size());
    m_entries.push_back(Entry{Hash(key), std::move(bytes), static_cast<uint32_t>(key.size()),
                              nValue, -1, 0, nullptr});
    const int32_t added = static_cast<int32_t>(m_entries.size() - 1);
    if (m_entries.size() * 2 > m_slots.size()) {
        m_slots.assign(m_slots.size() * 2, -1);
        for (size_t e = 0; e < m_entries.size(); ++e)
            Place(m_entries[e].m_hash, static_cast<int32_t>(e));
    } else {
        Place(m_entries.back().m_hash, added);
    }
    return added;
}

void CTargetTable::Place(uint64_t hash, int32_t nEntry) {
    size_t i = hash & (m_slots.size() - 1);
    while (m_slots[i] >= 0)
        i = (i + 1) & (m_slots.size() - 1);
    m_slots[i] = nEntry;
}
