// CDiskFile: a CFile over a file on disk. While it is open it holds an
// exclusive flock on the file, so no other opener that locks (another Ostrel
// or ostrel-cli) can read or write it meanwhile. Every failing call raises
// CFileException with its errno and the path as given; archive errors name
// the file by its full path.
#pragma once

#include "framework/file.h"

#include <string>

class CDiskFile : public CFile {
public:
    // Opens `path` with open(2) `flags` (and `mode` when creating), then
    // locks it; a lock held by another opener fails with EWOULDBLOCK.
    CDiskFile(const std::string& path, int flags, unsigned mode = 0666);
    // Adopts an open descriptor (for instance from mkstemp) and locks it.
    CDiskFile(int fd, const std::string& path);
    CDiskFile(const CDiskFile&) = delete;
    CDiskFile& operator=(const CDiskFile&) = delete;
    ~CDiskFile() override; // closes without reporting errors

    size_t Read(void* pBuf, size_t n) override;
    void Write(const void* pBuf, size_t n) override;
    std::string GetFilePath() const override { return m_strFullPath; }

    int GetDescriptor() const { return m_hFile; }
    // Forces the written bytes to the device.
    void Sync();
    // Closes the file, reporting a failed close.
    void Close();

private:
    void Lock();
    [[noreturn]] void Fail(int nErrno) const;

    int m_hFile = -1;
    std::string m_strPath;     // as given, for file errors
    std::string m_strFullPath; // absolute, for archive errors
};
