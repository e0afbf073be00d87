// SPDX-License-Identifier: Apache-2.0
// CMemFile: a CFile over bytes in memory, for reading a list from a buffer
// (fuzzing, tests) or writing one into it.
#pragma once

#include "framework/file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class CMemFile : public CFile {
public:
    CMemFile() = default;
    explicit CMemFile(std::vector<uint8_t> data, std::string path = {})
        : m_data(std::move(data)), m_strPath(std::move(path)) {}

    size_t Read(void* pBuf, size_t n) override {
        n = std::min(n, m_data.size() - m_nPos);
        if (n)
            std::memcpy(pBuf, m_data.data() + m_nPos, n);
        m_nPos += n;
        return n;
    }
    void Write(const void* pBuf, size_t n) override {
        auto p = static_cast<const uint8_t*>(pBuf);
        m_data.insert(m_data.end(), p, p + n);
    }
    std::string GetFilePath() const override { return m_strPath; }

    // Makes room for `n` bytes of written data in one allocation.
    void Reserve(size_t n) { m_data.reserve(n); }

    const std::vector<uint8_t>& Data() const { return m_data; }

private:
    std::vector<uint8_t> m_data;
    size_t m_nPos = 0;
    std::string m_strPath;
};
