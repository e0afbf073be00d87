// SPDX-License-Identifier: Apache-2.0
// CFile: the byte stream under an archive. Implementations raise
// CFileException for failures of the file itself.
#pragma once

#include <cstddef>
#include <string>

class CFile {
public:
    virtual ~CFile() = default;
    // Reads up to n bytes; returns how many were read, 0 at the end of the data.
    virtual size_t Read(void* pBuf, size_t n) = 0;
    // Writes all n bytes or throws.
    virtual void Write(const void* pBuf, size_t n) = 0;
    // The full path that error messages name.
    virtual std::string GetFilePath() const = 0;
};
