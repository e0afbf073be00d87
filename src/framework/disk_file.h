// SPDX-License-Identifier: Apache-2.0
// CDiskFile: a CFile over a file on disk. Unless told not to, it holds an
// exclusive flock on the file while it is open, so no other opener that
// locks can have it meanwhile. Such a lock suits only files that others
// cannot open: any user who may read a file may also lock it, so list files
// are read without one (see CListWriteLock for their writers). The lock is on the file the
// path names once it is taken: a file that another process replaced (saved
// anew under the same name) between the open and the lock is let go and the
// path opened again, so that its old content is never mistaken for the
// current one. Every failing call raises
// CFileException with its errno and the path as given; archive errors name
// the file by its full path.
//
// Reads and writes go through a 64 KiB buffer of the file's own: the archive
// hands over 4 KiB at a time, and one system call per 4 KiB would cost more
// than encoding the list. Written bytes reach the file at the latest in
// Sync() or Close(), which report any failure.
#pragma once

#include "framework/file.h"

#include <memory>
#include <string>

class CDiskFile : public CFile {
public:
    // Opens `path` with open(2) `flags` (and `mode` when creating), then
    // locks it; a lock held by another opener fails with EWOULDBLOCK.
    // Without `bLock` the file is only opened, for a caller that already
    // holds the lock through another descriptor.
    CDiskFile(const std::string& path, int flags, unsigned mode = 0666, bool bLock = true);
    // Adopts an open descriptor (for instance from mkstemp) and, unless
    // `bLock` is false, locks it.
    CDiskFile(int fd, const std::string& path, bool bLock = true);
    CDiskFile(const CDiskFile&) = delete;
    CDiskFile& operator=(const CDiskFile&) = delete;
    ~CDiskFile() override; // closes without reporting errors; unflushed bytes are lost

    size_t Read(void* pBuf, size_t n) override;
    void Write(const void* pBuf, size_t n) override;
    std::string GetFilePath() const override { return m_strFullPath; }

    int GetDescriptor() const { return m_hFile; }
    // Writes out the buffer, then forces the written bytes to the device.
    void Sync();
    // Writes out the buffer, then ends the file there: bytes after the last
    // one written are cut off.
    void Truncate();
    // Writes out the buffer and closes the file, reporting any failure.
    void Close();

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    void Open(int flags, unsigned mode);
    void Lock();
    bool PathNamesOpenFile() const;
    void FlushWrites();
    size_t ReadDirect(void* pBuf, size_t n);
    void WriteDirect(const char* p, size_t n);
    [[noreturn]] void Fail(int nErrno) const;

    int m_hFile = -1;
    std::unique_ptr<char[]> m_pBuffer; // allocated at the first read or write
    size_t m_nBufStart = 0;            // reading: next unread byte
    size_t m_nBufEnd = 0;              // reading: end of the data
    size_t m_nPending = 0;             // writing: bytes waiting to be written
    std::string m_strPath;             // as given, for file errors
    std::string m_strFullPath;         // absolute, for archive errors
};
