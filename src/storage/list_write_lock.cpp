// SPDX-License-Identifier: Apache-2.0
#include "storage/list_write_lock.h"

#include "framework/exception.h"
#include "storage/file_replacer.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kWaitMs = 2000; // how long a writer's lock is waited for
constexpr int kStepMs = 10;   // how often the lock is tried meanwhile

constexpr int kOpenFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Whether the owner of the lock file `lock` may be a writer of the list
// `pList` (null: no list yet).
bool OfAWriter(const struct stat& lock, const struct stat* pList) {
    if (lock.st_uid == ::geteuid() || lock.st_uid == 0)
        return true;
    return pList && (lock.st_uid == pList->st_uid || (pList->st_mode & S_IWOTH) ||
                     ((pList->st_mode & S_IWGRP) && lock.st_gid == pList->st_gid));
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
} // namespace

CListWriteLock::CListWriteLock(const std::string& path) {
    const std::string target = CFileReplacer::FollowLinks(path);
    m_strList = CFileReplacer::BaseName(target);
    m_strName = ".#" + m_strList;
    m_nFolder = ::open(CFileReplacer::Folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_nFolder < 0)
        throw CFileException(errno, path);
    struct stat list;
    const bool bList = ::fstatat(m_nFolder, m_strList.c_str(), &list, AT_SYMLINK_NOFOLLOW) == 0;
    for (int waited = 0;; waited += kStepMs) {
        const int err = TryLock(bList ? &list : nullptr);
        if (err == 0)
            return;
        if (err != EWOULDBLOCK || waited >= kWaitMs) {
            Release();
            throw CFileException(err, path);
        }
        ::poll(nullptr, 0, kStepMs);
    }
}

CListWriteLock::~CListWriteLock() {
    Release();
}

// The holder removes the lock file before it lets go: a writer that waited
// on it then finds its name gone, or naming a newer one, and tries again.
void CListWriteLock::Release() {
    if (m_hLock >= 0) {
        if (m_bLockFile)
            ::unlinkat(m_nFolder, m_strName.c_str(), 0);
        ::close(m_hLock);
        m_hLock = -1;
    }
    if (m_nFolder >= 0)
        ::close(m_nFolder);
    m_nFolder = -1;
}

// One attempt: 0 when locked (or when the lock file is to be ignored),
// EWOULDBLOCK when a writer holds it, another errno when locking fails.
int CListWriteLock::TryLock(const struct stat* pList) {
    bool bCreated = true;
    int fd = ::openat(m_nFolder, m_strName.c_str(), kOpenFlags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) {
        bCreated = false;
        fd = ::openat(m_nFolder, m_strName.c_str(), kOpenFlags);
        if (fd < 0 && errno == ENOENT)
            return EWOULDBLOCK; // let go meanwhile
    }
    struct stat lock;
    if (fd < 0) {
        const int err = errno;
        if (bCreated)
            return err == EACCES || err == EPERM || err == EROFS ? LockList() : err;
        // Another user's lock file, a link or a pipe: a writer's means in use.
        if (::fstatat(m_nFolder, m_strName.c_str(), &lock, AT_SYMLINK_NOFOLLOW) == 0 &&
            !OfAWriter(lock, pList))
            return 0;
        return EWOULDBLOCK;
    }
    if (::fstat(fd, &lock) < 0 || !S_ISREG(lock.st_mode) || !OfAWriter(lock, pList)) {
        ::close(fd);
        return 0;
    }
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) < 0 && errno == EINTR) {
    }
    if (rc < 0) {
        const int err = errno;
        if (bCreated && err != EWOULDBLOCK) // no one can lock it: it goes
            ::unlinkat(m_nFolder, m_strName.c_str(), 0);
        ::close(fd);
        return err;
    }
    struct stat named;
    if (::fstatat(m_nFolder, m_strName.c_str(), &named, AT_SYMLINK_NOFOLLOW) < 0 ||
        !SameFile(named, lock)) {
        ::close(fd);
        return EWOULDBLOCK; // removed by its holder as this one took it
    }
    m_hLock = fd;
    m_bLockFile = true;
    return 0;
}

// A folder closed to this user: the list, which is then written in place,
// is itself locked. Without a list to lock the save fails on its own.
int CListWriteLock::LockList() {
    const int fd = ::openat(m_nFolder, m_strList.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) < 0 && errno == EINTR) {
    }
    if (rc < 0) {
        const int err = errno;
        ::close(fd);
        return err;
    }
    m_hLock = fd;
    return 0;
}
