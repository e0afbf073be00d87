// SPDX-License-Identifier: Apache-2.0
// CListWriteLock: keeps the writers of one list file out of each other's way
// without any lock that a mere reader of the list could hold against them.
//
// A lock on the list itself would not do: flock(2) and read locks need no
// more than a descriptor open for reading, so anyone who may read a list
// could hold such a lock for ever. Readers take no lock at all (a save
// replaces the list by rename, so they always find one whole file), and
// writers lock a file of their own beside the list, ".#NAME", which the
// holder creates (0600) and removes before it lets go. Only a user who may
// write the folder can create it, and only its creator can open it.
//
// A lock file whose owner could not be a writer of the list (not this user,
// root, the list's owner, nor a user the list's group or others permissions
// let write it) was put there by someone else, for instance in a sticky
// folder that everyone may write, and is ignored: it can take away the
// writers' exclusion, never make a save fail. Where the folder does not let
// this user create the lock file (a list written in place), the list itself
// is locked instead. A lock held by a writer is waited for up to two
// seconds; after that the list counts as in use (EWOULDBLOCK).
#pragma once

#include <string>

class CListWriteLock {
public:
    // Takes the writers' lock of the list at `path` (through its symbolic
    // links). Raises CFileException naming `path`.
    explicit CListWriteLock(const std::string& path);
    CListWriteLock(const CListWriteLock&) = delete;
    CListWriteLock& operator=(const CListWriteLock&) = delete;
    ~CListWriteLock(); // lets go, removing the lock file

private:
    int TryLock(const struct stat* pList);
    int LockList();
    void Release();

    int m_nFolder = -1;       // the list's folder
    int m_hLock = -1;         // the locked file; -1 when nothing is locked
    bool m_bLockFile = false; // m_hLock is the lock file, removed at the end
    std::string m_strList;    // the list's name in its folder
    std::string m_strName;    // the lock file's
};
