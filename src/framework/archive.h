// SPDX-License-Identifier: Apache-2.0
// CArchive: writes objects to, or reads them from, a CFile in the list file's
// object archive format, through a buffer (4096 bytes by default). Format
// errors raise CArchiveException; errors of the file raise CFileException.
#pragma once

#include "framework/exception.h"
#include "framework/file.h"
#include "framework/object.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

class CArchive {
public:
    enum Mode { store = 0, load = 1 };

    // The largest index the table may give out.
    static constexpr uint32_t kMaxMapIndex = 0x3FFFFFFD;

    CArchive(CFile* pFile, Mode nMode, size_t nBufSize = 4096);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;
    ~CArchive(); // discards unwritten bytes unless Close() ran

    bool IsLoading() const { return m_nMode == load; }
    bool IsStoring() const { return m_nMode == store; }
    CFile* GetFile() const { return m_pFile; }

    // 32-bit fields: 4 bytes, little-endian two's complement.
    CArchive& operator<<(int32_t n);
    CArchive& operator>>(int32_t& n);
    // Strings: a length prefix in the shortest form, then the bytes. The
    // reader also takes the 16-bit form and converts it to Windows-1252.
    CArchive& operator<<(const std::string& s);
    CArchive& operator>>(std::string& s);
    // Counts: a u16, or 0xFFFF and a 32-bit count.
    void WriteCount(uint32_t n);
    uint32_t ReadCount();

    // Writes an object record: the null tag, a back reference, or a class tag
    // (a class record the first time) followed by the object's fields.
    void WriteObject(const CObject* pOb);
    // Announces that about `n` more objects will be written, so that the
    // record of written objects is allocated once rather than grown step by step.
    // Does nothing when loading, where counts come from the file.
    void ReserveObjects(size_t n);
    // Reads an object record whose class must derive from pClass. Returns null
    // for the null tag and the earlier object for a back reference; a new
    // object belongs to the caller.
    CObject* ReadObject(const CRuntimeClass* pClass);
    // Reads a record that must introduce a new object of pClass, owned by the
    // caller; a null tag or a back reference raises cause 5.
    CObject* ReadNewObject(const CRuntimeClass* pClass);

    // Writes out what the buffer holds (store direction).
    void Flush();
    // Flushes (store direction) and detaches from the file.
    void Close();
    // Detaches without writing anything more.
    void Abort();

    // Makes the next index handed out `n`, so that tests can reach the index
    // limit and the 32-bit escape without writing a billion objects. When
    // loading, call it before the first record: the indices below `n` then
    // stay unassigned.
    void SetNextIndexForTesting(uint32_t n);

private:
    struct StoreMap;
    struct LoadEntry {
        const void* p;
        bool isClass;
    };

    // Makes nNeeded bytes available or raises cause 3.
    void FillBuffer(size_t nNeeded) {
        if (static_cast<size_t>(m_lpBufMax - m_lpBufCur) < nNeeded)
            FillBufferSlow(nNeeded);
    }
    void FillBufferSlow(size_t nNeeded);
    // The writers take the short way while the buffer has room.
    void WriteBytes(const void* p, size_t n) {
        if (static_cast<size_t>(m_lpBufMax - m_lpBufCur) < n)
            return WriteBytesSlow(p, n);
        std::memcpy(m_lpBufCur, p, n);
        m_lpBufCur += n;
    }
    void WriteBytesSlow(const void* p, size_t n);
    void ReadBytes(void* p, size_t n);
    uint8_t ReadU8() {
        FillBuffer(1);
        return *m_lpBufCur++;
    }
    uint16_t ReadU16() {
        FillBuffer(2);
        const uint16_t w = static_cast<uint16_t>(m_lpBufCur[0] | m_lpBufCur[1] << 8);
        m_lpBufCur += 2;
        return w;
    }
    uint32_t ReadU32() {
        FillBuffer(4);
        const uint32_t dw = uint32_t{m_lpBufCur[0]} | uint32_t{m_lpBufCur[1]} << 8 |
                            uint32_t{m_lpBufCur[2]} << 16 | uint32_t{m_lpBufCur[3]} << 24;
        m_lpBufCur += 4;
        return dw;
    }
    void WriteU16(uint16_t w) {
        const uint8_t b[2] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)};
        WriteBytes(b, 2);
    }
    void WriteU32(uint32_t dw) {
        const uint8_t b[4] = {static_cast<uint8_t>(dw), static_cast<uint8_t>(dw >> 8),
                              static_cast<uint8_t>(dw >> 16), static_cast<uint8_t>(dw >> 24)};
        WriteBytes(b, 4);
    }
    size_t ReadStringLength(bool& bWide);
    void ReadRaw(std::string& s, size_t n);
    void ReadWide(std::string& s, size_t nChars);

    uint32_t TakeIndex();
    const LoadEntry* FindLoaded(uint32_t index) const;
    void WriteClassTag(const CRuntimeClass* pClass);
    const CRuntimeClass* ReadClassRecord();
    CObject* ReadRecord(const CRuntimeClass* pClass, bool bNewOnly);
    [[noreturn]] void ThrowFormat(int cause) const;

    CFile* m_pFile;
    Mode m_nMode;
    std::vector<uint8_t> m_buf;
    uint8_t* m_lpBufCur;
    uint8_t* m_lpBufMax; // store: end of the buffer; load: end of the data in it
    bool m_bEof = false; // load: the file has no more bytes
    uint32_t m_nMapCount = 1;
    std::unique_ptr<StoreMap> m_pStoreMap;
    const CRuntimeClass* m_pLastClass = nullptr; // store: the class last written, and its index
    uint32_t m_nLastClassIndex = 0;
    std::vector<LoadEntry> m_loadMap; // load: entry i has the index m_nLoadFirst + i
    uint32_t m_nLoadFirst = 1;
};
