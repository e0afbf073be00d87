// SPDX-License-Identifier: Apache-2.0
#include "framework/disk_file.h"

#include "framework/exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The path made absolute against the current directory, "." and ".." folded
// away by name; the path unchanged when the current directory is unknown.
std::string FullPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

// How often a path is opened again when its file keeps being replaced
// before the lock is taken; past that the file counts as in use.
constexpr int kMaxReopens = 100;
} // namespace

CDiskFile::CDiskFile(const std::string& path, int flags, unsigned mode, bool bLock)
    : m_strPath(path), m_strFullPath(FullPath(path)) {
    Open(flags, mode);
    if (!bLock)
        return;
    for (int reopens = 0;; ++reopens) {
        Lock();
        if (PathNamesOpenFile())
            return;
        // Another process replaced the file between our open and our lock:
        // what is locked is the old file, no longer reachable by its name.
        ::close(m_hFile);
        m_hFile = -1;
        if (reopens == kMaxReopens)
            Fail(EWOULDBLOCK);
        Open(flags, mode);
    }
}

CDiskFile::CDiskFile(int fd, const std::string& path, bool bLock)
    : m_hFile(fd), m_strPath(path), m_strFullPath(FullPath(path)) {
    if (bLock)
        Lock();
}

CDiskFile::~CDiskFile() {
    if (m_hFile >= 0)
        ::close(m_hFile);
}

void CDiskFile::Open(int flags, unsigned mode) {
    do
        m_hFile = ::open(m_strPath.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
    while (m_hFile < 0 && errno == EINTR);
    if (m_hFile < 0)
        Fail(errno);
}

// Whether the path still leads to the open file (same device and inode). A
// path that cannot be looked up does not; opening it again then reports why.
bool CDiskFile::PathNamesOpenFile() const {
    struct stat open, named;
    if (::fstat(m_hFile, &open) < 0 || ::stat(m_strPath.c_str(), &named) < 0)
        return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

void CDiskFile::Lock() {
    int rc;
    do
        rc = ::flock(m_hFile, LOCK_EX | LOCK_NB);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int err = errno;
        ::close(m_hFile);
        m_hFile = -1;
        Fail(err);
    }
}

[[noreturn]] void CDiskFile::Fail(int nErrno) const {
    throw CFileException(nErrno, m_strPath);
}

size_t CDiskFile::ReadDirect(void* pBuf, size_t n) {
    for (;;) {
        const ssize_t got = ::read(m_hFile, pBuf, n);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno != EINTR)
            Fail(errno);
    }
}

size_t CDiskFile::Read(void* pBuf, size_t n) {
    if (m_nBufStart == m_nBufEnd) {
        if (n >= kBufferSize)
            return ReadDirect(pBuf, n);
        if (!m_pBuffer)
            m_pBuffer = std::make_unique<char[]>(kBufferSize);
        m_nBufStart = 0;
        m_nBufEnd = ReadDirect(m_pBuffer.get(), kBufferSize);
    }
    const size_t chunk = std::min(n, m_nBufEnd - m_nBufStart);
    std::memcpy(pBuf, m_pBuffer.get() + m_nBufStart, chunk);
    m_nBufStart += chunk;
    return chunk;
}

void CDiskFile::WriteDirect(const char* p, size_t n) {
    while (n > 0) {
        const ssize_t put = ::write(m_hFile, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            Fail(errno);
        if (put == 0) // nothing stored and no reason given
            throw CFileException(-1, m_strPath);
        p += put;
        n -= static_cast<size_t>(put);
    }
}

void CDiskFile::FlushWrites() {
    const size_t n = m_nPending;
    m_nPending = 0; // a failed write is reported once, not again at Close()
    if (n)
        WriteDirect(m_pBuffer.get(), n);
}

void CDiskFile::Write(const void* pBuf, size_t n) {
    auto p = static_cast<const char*>(pBuf);
    if (m_nPending + n > kBufferSize)
        FlushWrites();
    if (n >= kBufferSize)
        return WriteDirect(p, n);
    if (!m_pBuffer)
        m_pBuffer = std::make_unique<char[]>(kBufferSize);
    std::memcpy(m_pBuffer.get() + m_nPending, p, n);
    m_nPending += n;
}

void CDiskFile::Sync() {
    FlushWrites();
    if (::fsync(m_hFile) < 0)
        Fail(errno);
}

void CDiskFile::Truncate() {
    FlushWrites();
    const off_t end = ::lseek(m_hFile, 0, SEEK_CUR);
    if (end < 0 || ::ftruncate(m_hFile, end) < 0)
        Fail(errno);
}

void CDiskFile::Close() {
    const int fd = m_hFile;
    if (fd < 0)
        return;
    try {
        FlushWrites();
    } catch (const CFileException&) {
        m_hFile = -1;
        ::close(fd);
        throw;
    }
    m_hFile = -1;
    // After close(2) the descriptor is gone even when it reports an error, so
    // it is not retried on EINTR.
    if (::close(fd) < 0 && errno != EINTR)
        Fail(errno);
}
