// SPDX-License-Identifier: Apache-2.0
// Target parts of records, by their bytes, to entries that carry a value:
// open addressing with a hash over 8-byte words. Logs repeat their targets
// in list order pass after pass, so each entry remembers which one came
// after it last time and tries that first, without hashing.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The `n` bytes at `a` and at `b` are the same, compared a word at a time.
inline bool EqualBytes(const char* a, const char* b, size_t n) {
    if (n < 8)
        return std::memcmp(a, b, n) == 0;
    const auto word = [](const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    // Whole words, the last one reaching back to end at the last byte.
    for (size_t i = 0; i + 8 < n; i += 8)
        if (word(a + i) != word(b + i))
            return false;
    return word(a + n - 8) == word(b + n - 8);
}

class CTargetTable {
public:
    CTargetTable() : m_slots(1024, -1) {}

    // The entry of `key`, or -1; `nAfter` is the entry found before (or -1).
    int32_t Find(std::string_view key, int32_t nAfter) {
        if (nAfter >= 0) {
            const int32_t guess = m_entries[static_cast<size_t>(nAfter)].m_nNext;
            if (guess >= 0 && Same(m_entries[static_cast<size_t>(guess)], key))
                return guess;
        }
        const uint64_t hash = Hash(key);
        for (size_t i = hash & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const int32_t e = m_slots[i];
            if (e < 0)
                return -1;
            if (m_entries[static_cast<size_t>(e)].m_hash == hash &&
                Same(m_entries[static_cast<size_t>(e)], key)) {
                Link(nAfter, e);
                return e;
            }
        }
    }
    int32_t Insert(std::string_view key, int32_t nValue);
    int32_t Value(int32_t nEntry) const { return m_entries[static_cast<size_t>(nEntry)].m_nValue; }
    // The entry that followed `nEntry` last time (-1 for none yet), and its
    // key, kept in `nEntry`'s own entry so that one look serves both.
    int32_t NextOf(int32_t nEntry) const { return m_entries[static_cast<size_t>(nEntry)].m_nNext; }
    std::string_view NextKey(int32_t nEntry) const {
        const Entry& entry = m_entries[static_cast<size_t>(nEntry)];
        return std::string_view(entry.m_pNextKey, entry.m_nNextLength);
    }
    void Link(int32_t nAfter, int32_t nEntry) {
        if (nAfter < 0)
            return;
        Entry& after = m_entries[static_cast<size_t>(nAfter)];
        const Entry& next = m_entries[static_cast<size_t>(nEntry)];
        after.m_nNext = nEntry;
        after.m_pNextKey = next.m_key.get();
        after.m_nNextLength = next.m_nLength;
    }

private:
    struct Entry {
        uint64_t m_hash;
        std::unique_ptr<char[]> m_key; // its own block, which moves with no entry
        uint32_t m_nLength;
        int32_t m_nValue;
        int32_t m_nNext; // the entry that followed this one last time
        uint32_t m_nNextLength;
        const char* m_pNextKey; // its key, whose block stays where it is
    };

    static uint64_t Word(const char* p) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static uint64_t Hash(std::string_view key) {
        uint64_t h = key.size() * 0x9E3779B97F4A7C15ull;
        size_t i = 0;
        for (; i + 8 <= key.size(); i += 8) {
            h = (h ^ Word(key.data() + i)) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        uint64_t tail = 0;
        std::memcpy(&tail, key.data() + i, key.size() - i);
        h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
        return h ^ (h >> 29);
    }
    static bool Same(const Entry& entry, std::string_view key) {
        return entry.m_nLength == key.size() &&
               EqualBytes(entry.m_key.get(), key.data(), key.size());
    }
    void Place(uint64_t hash, int32_t nEntry);

    std::vector<int32_t> m_slots; // entry index, -1 for an empty slot
    std::vector<Entry> m_entries;
};
