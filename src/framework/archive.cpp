// SPDX-License-Identifier: Apache-2.0
#include "framework/archive.h"

#include "framework/windows_1252.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {
constexpr uint16_t kNullTag = 0x0000;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000;
constexpr uint16_t kWideStringMark = 0xFFFE;
constexpr size_t kMaxClassName = 64;
} // namespace

// What the writer has written, by identity, with the index of each: the
// classes in a short array, the objects in an array that stays sorted by
// address while they arrive in increasing address order (a list's targets
// usually do, being allocated one after another), so that a new object costs
// one comparison and one append. The first object out of order moves the
// objects into an open-addressing hash table, which keeps writing n objects
// linear in every case.
struct CArchive::StoreMap {
    std::vector<std::pair<const CRuntimeClass*, uint32_t>> classes;
    std::vector<const void*> keys; // objects, by entry number
    std::vector<uint32_t> indices; // their indices, by entry number
    bool sorted = true;            // keys ascend; no hash table yet
    std::vector<uint32_t> slots;   // entry number + 1, or 0 for a free slot

    uint32_t FindClass(const CRuntimeClass* pClass) const {
        for (const auto& [c, index] : classes)
            if (c == pClass)
                return index;
        return 0;
    }
    uint32_t FindObject(const void* key) {
        if (!sorted) {
            const uint32_t slot = Locate(key);
            return slot ? indices[slot - 1] : 0;
        }
        if (keys.empty() || Before(keys.back(), key))
            return 0;
        auto it = std::lower_bound(keys.begin(), keys.end(), key, Before);
        return it != keys.end() && *it == key ? indices[static_cast<size_t>(it - keys.begin())] : 0;
    }
    // Adds an object that FindObject did not find.
    void AddObject(const void* key, uint32_t index) {
        if (sorted && !keys.empty() && Before(key, keys.back())) {
            sorted = false;
            Rehash(64);
        }
        keys.push_back(key);
        indices.push_back(index);
        if (!sorted) {
            if (keys.size() * 2 > slots.size())
                Rehash(slots.size() * 2);
            else
                Place(keys.size() - 1);
        }
    }
    void Reserve(size_t n) {
        keys.reserve(keys.size() + n);
        indices.reserve(indices.size() + n);
    }

private:
    static bool Before(const void* a, const void* b) { return std::less<const void*>()(a, b); }
    size_t Home(const void* key) const {
        return static_cast<size_t>(reinterpret_cast<uintptr_t>(key) >> 4) & (slots.size() - 1);
    }
    size_t Next(size_t i) const { return (i + 1) & (slots.size() - 1); }
    uint32_t Locate(const void* key) const {
        for (size_t i = Home(key); slots[i]; i = Next(i))
            if (keys[slots[i] - 1] == key)
                return slots[i];
        return 0;
    }
    void Place(size_t entry) {
        size_t i = Home(keys[entry]);
        while (slots[i])
            i = Next(i);
        slots[i] = static_cast<uint32_t>(entry + 1);
    }
    // A table of at least `size` slots, at most half full, holding every object.
    void Rehash(size_t size) {
        while (keys.size() * 2 + 2 > size)
            size *= 2;
        slots.assign(size, 0);
        for (size_t e = 0; e < keys.size(); ++e)
            Place(e);
    }
};

CArchive::CArchive(CFile* pFile, Mode nMode, size_t nBufSize)
    : m_pFile(pFile), m_nMode(nMode), m_buf(std::max<size_t>(nBufSize, 16)) {
    m_lpBufCur = m_buf.data();
    m_lpBufMax = nMode == store ? m_buf.data() + m_buf.size() : m_buf.data();
    if (nMode == store)
        m_pStoreMap = std::make_unique<StoreMap>();
}

void CArchive::SetNextIndexForTesting(uint32_t n) {
    m_nMapCount = n;
    if (IsLoading() && m_loadMap.empty())
        m_nLoadFirst = n;
}

CArchive::~CArchive() = default;

[[noreturn]] void CArchive::ThrowFormat(int cause) const {
    // A cut-short file names no file in its message.
    throw CArchiveException(cause, cause == CArchiveException::endOfFile || !m_pFile
                                       ? std::string()
                                       : m_pFile->GetFilePath());
}

// ---- buffer ----

void CArchive::Flush() {
    if (IsStoring() && m_pFile && m_lpBufCur != m_buf.data()) {
        size_t n = static_cast<size_t>(m_lpBufCur - m_buf.data());
        m_lpBufCur = m_buf.data();
        m_pFile->Write(m_buf.data(), n);
    }
}

void CArchive::Close() {
    Flush();
    m_pFile = nullptr;
}

void CArchive::Abort() {
    m_lpBufCur = m_buf.data();
    m_pFile = nullptr;
}

void CArchive::WriteBytesSlow(const void* p, size_t n) {
    auto src = static_cast<const uint8_t*>(p);
    while (n > 0) {
        if (m_lpBufCur == m_lpBufMax)
            Flush();
        size_t chunk = std::min(n, static_cast<size_t>(m_lpBufMax - m_lpBufCur));
        std::memcpy(m_lpBufCur, src, chunk);
        m_lpBufCur += chunk;
        src += chunk;
        n -= chunk;
    }
}

void CArchive::FillBufferSlow(size_t nNeeded) {
    size_t have = static_cast<size_t>(m_lpBufMax - m_lpBufCur);
    std::memmove(m_buf.data(), m_lpBufCur, have);
    m_lpBufCur = m_buf.data();
    m_lpBufMax = m_buf.data() + have;
    while (!m_bEof && static_cast<size_t>(m_lpBufMax - m_lpBufCur) < nNeeded) {
        size_t got =
            m_pFile ? m_pFile->Read(m_lpBufMax, m_buf.data() + m_buf.size() - m_lpBufMax) : 0;
        if (got == 0)
            m_bEof = true;
        m_lpBufMax += got;
    }
    if (static_cast<size_t>(m_lpBufMax - m_lpBufCur) < nNeeded)
        ThrowFormat(CArchiveException::endOfFile);
}

void CArchive::ReadBytes(void* p, size_t n) {
    FillBuffer(n);
    std::memcpy(p, m_lpBufCur, n);
    m_lpBufCur += n;
}

// ---- primitives ----

CArchive& CArchive::operator<<(int32_t n) {
    WriteU32(static_cast<uint32_t>(n));
    return *this;
}

CArchive& CArchive::operator>>(int32_t& n) {
    n = static_cast<int32_t>(ReadU32());
    return *this;
}

void CArchive::WriteCount(uint32_t n) {
    if (n < 0xFFFF) {
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU16(0xFFFF);
        WriteU32(n);
    }
}

uint32_t CArchive::ReadCount() {
    uint16_t w = ReadU16();
    return w != 0xFFFF ? w : ReadU32();
}

CArchive& CArchive::operator<<(const std::string& s) {
    const size_t n = s.size();
    if (n < 0xFF && static_cast<size_t>(m_lpBufMax - m_lpBufCur) > n) { // the usual short string
        *m_lpBufCur++ = static_cast<uint8_t>(n);
        std::memcpy(m_lpBufCur, s.data(), n);
        m_lpBufCur += n;
        return *this;
    }
    uint8_t prefix[7];
    size_t len;
    if (n < 0xFF) {
        prefix[0] = static_cast<uint8_t>(n);
        len = 1;
    } else if (n < 0xFFFE) {
        prefix[0] = 0xFF;
        prefix[1] = static_cast<uint8_t>(n);
        prefix[2] = static_cast<uint8_t>(n >> 8);
        len = 3;
    } else {
        const uint32_t n32 = static_cast<uint32_t>(n);
        const uint8_t p[7] = {0xFF,
                              0xFF,
                              0xFF,
                              static_cast<uint8_t>(n32),
                              static_cast<uint8_t>(n32 >> 8),
                              static_cast<uint8_t>(n32 >> 16),
                              static_cast<uint8_t>(n32 >> 24)};
        std::memcpy(prefix, p, 7);
        len = 7;
    }
    WriteBytes(prefix, len);
    WriteBytes(s.data(), n);
    return *this;
}

// The length prefix in any of its forms; bWide reports the 16-bit form, whose
// length counts characters and starts again with a one-byte form.
size_t CArchive::ReadStringLength(bool& bWide) {
    bWide = false;
    uint8_t b = ReadU8();
    if (b < 0xFF)
        return b;
    uint16_t w = ReadU16();
    if (w == kWideStringMark) {
        bWide = true;
        b = ReadU8();
        if (b < 0xFF)
            return b;
        w = ReadU16();
    }
    if (w < 0xFFFF)
        return w;
    return ReadU32();
}

// Appends the bytes as they arrive, so a length that runs past the end of the
// data fails after reading what is there, never allocating the claimed size.
void CArchive::ReadRaw(std::string& s, size_t n) {
    s.clear();
    while (n > 0) {
        if (m_lpBufCur == m_lpBufMax)
            FillBuffer(1);
        size_t chunk = std::min(n, static_cast<size_t>(m_lpBufMax - m_lpBufCur));
        s.append(reinterpret_cast<const char*>(m_lpBufCur), chunk);
        m_lpBufCur += chunk;
        n -= chunk;
    }
}

// A high surrogate gives its "?" when it is read; the low surrogate that may
// follow it completes the same character and adds nothing. A surrogate on
// its own is one character with no 8-bit form, so it also gives one "?".
void CArchive::ReadWide(std::string& s, size_t nChars) {
    s.clear();
    uint16_t pendingHigh = 0;
    for (size_t i = 0; i < nChars; ++i) {
        uint16_t unit = ReadU16();
        if (pendingHigh && unit >= 0xDC00 && unit <= 0xDFFF) {
            pendingHigh = 0; // the pair is one character with no 8-bit form
            continue;
        }
        pendingHigh = unit >= 0xD800 && unit <= 0xDBFF ? unit : 0;
        if (pendingHigh)
            s.push_back('?');
        else
            s.push_back(static_cast<char>(Windows1252FromUnicode(unit)));
    }
}

CArchive& CArchive::operator>>(std::string& s) {
    const size_t have = static_cast<size_t>(m_lpBufMax - m_lpBufCur);
    if (have > 0 && *m_lpBufCur < 0xFF && have > *m_lpBufCur) { // the usual short string
        const size_t n = *m_lpBufCur++;
        s.assign(reinterpret_cast<const char*>(m_lpBufCur), n);
        m_lpBufCur += n;
        return *this;
    }
    bool bWide;
    size_t n = ReadStringLength(bWide);
    if (bWide)
        ReadWide(s, n);
    else
        ReadRaw(s, n);
    return *this;
}

// ---- objects ----

// The class or object read with this index, or null when no such index has
// been assigned. Index 0, the null reference, is never an entry.
const CArchive::LoadEntry* CArchive::FindLoaded(uint32_t index) const {
    if (index < m_nLoadFirst || index - m_nLoadFirst >= m_loadMap.size())
        return nullptr;
    return &m_loadMap[index - m_nLoadFirst];
}

uint32_t CArchive::TakeIndex() {
    if (m_nMapCount > kMaxMapIndex)
        ThrowFormat(CArchiveException::badIndex);
    return m_nMapCount++;
}

void CArchive::WriteClassTag(const CRuntimeClass* pClass) {
    // A list writes one class over and over: remember the last one.
    if (pClass != m_pLastClass) {
        m_nLastClassIndex = m_pStoreMap->FindClass(pClass);
        m_pLastClass = m_nLastClassIndex ? pClass : nullptr;
    }
    if (m_pLastClass) {
        const uint32_t nClassIndex = m_nLastClassIndex;
        if (nClassIndex < kBigObjectTag) {
            WriteU16(static_cast<uint16_t>(kClassTag | nClassIndex));
        } else {
            WriteU16(kBigObjectTag);
            WriteU32(kBigClassTag | nClassIndex);
        }
        return;
    }
    const uint32_t index = TakeIndex();
    const size_t nameLen = std::strlen(pClass->m_lpszClassName);
    WriteU16(kNewClassTag);
    WriteU16(pClass->m_wSchema);
    WriteU16(static_cast<uint16_t>(nameLen));
    WriteBytes(pClass->m_lpszClassName, nameLen);
    m_pStoreMap->classes.emplace_back(pClass, index);
}

void CArchive::ReserveObjects(size_t n) {
    if (IsStoring())
        m_pStoreMap->Reserve(n);
}

void CArchive::WriteObject(const CObject* pOb) {
    if (!pOb) {
        WriteU16(kNullTag);
        return;
    }
    if (const uint32_t nObIndex = m_pStoreMap->FindObject(pOb)) {
        if (nObIndex < kBigObjectTag) {
            WriteU16(static_cast<uint16_t>(nObIndex));
        } else {
            WriteU16(kBigObjectTag);
            WriteU32(nObIndex);
        }
        return;
    }
    WriteClassTag(pOb->GetRuntimeClass());
    m_pStoreMap->AddObject(pOb, TakeIndex());
    const_cast<CObject*>(pOb)->Serialize(*this);
}

// Reads a class record after the new-class tag and gives the class its index.
const CRuntimeClass* CArchive::ReadClassRecord() {
    const uint16_t wSchema = ReadU16();
    const uint16_t nLen = ReadU16();
    if (nLen >= kMaxClassName)
        ThrowFormat(CArchiveException::badClass);
    char name[kMaxClassName];
    try {
        FillBuffer(nLen);
    } catch (const CArchiveException&) {
        ThrowFormat(CArchiveException::badClass); // the name is cut short
    }
    ReadBytes(name, nLen);
    const CRuntimeClass* pClass = CRuntimeClass::FromName(std::string_view(name, nLen));
    if (!pClass || !pClass->m_pfnCreateObject)
        ThrowFormat(CArchiveException::badClass);
    if (wSchema != pClass->m_wSchema)
        ThrowFormat(CArchiveException::badSchema);
    TakeIndex();
    m_loadMap.push_back({pClass, true});
    return pClass;
}

CObject* CArchive::ReadRecord(const CRuntimeClass* pClassExpected, bool bNewOnly) {
    const uint16_t wTag = ReadU16();
    const CRuntimeClass* pClass;
    if (wTag == kNewClassTag) {
        pClass = ReadClassRecord();
    } else {
        const uint32_t tag =
            wTag == kBigObjectTag ? ReadU32() : (wTag & 0x7FFFu) | uint32_t(wTag & 0x8000u) << 16;
        const uint32_t index = tag & ~kBigClassTag;
        const LoadEntry* entry = FindLoaded(index);
        if (!(tag & kBigClassTag)) { // an object reference
            if (index == 0 && !bNewOnly)
                return nullptr;
            if (bNewOnly || !entry || entry->isClass)
                ThrowFormat(CArchiveException::badIndex);
            return static_cast<CObject*>(const_cast<void*>(entry->p));
        }
        if (!entry || !entry->isClass)
            ThrowFormat(CArchiveException::badIndex);
        pClass = static_cast<const CRuntimeClass*>(entry->p);
    }
    if (!pClass->IsDerivedFrom(pClassExpected))
        ThrowFormat(CArchiveException::badClass);

    std::unique_ptr<CObject> pOb(pClass->CreateObject());
    TakeIndex();
    m_loadMap.push_back({pOb.get(), false});
    pOb->Serialize(*this); // on an error the object and what it read are discarded
    return pOb.release();
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClass) {
    return ReadRecord(pClass, false);
}

CObject* CArchive::ReadNewObject(const CRuntimeClass* pClass) {
    return ReadRecord(pClass, true);
}
