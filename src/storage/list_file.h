// SPDX-License-Identifier: Apache-2.0
// Reading and writing list files: each holds exactly one CItemList.
#pragma once

#include "model/item_list.h"

#include <memory>
#include <string>

class CDiskFile;
class CFile;
class CListWriteLock;

// Reads one list from `file` through a 4096-byte archive buffer. Returns null
// when the data begins with the null tag. Raises CArchiveException for a
// malformed file and CFileException when reading fails.
std::unique_ptr<CItemList> ReadList(CFile& file);
// Writes `list` to `file` and flushes the archive buffer.
void WriteList(CFile& file, const CItemList& list);

// Opens the list file at `path` and reads it as ReadList does. Takes no lock,
// which another user could hold against it: a save replaces the file whole.
// A path that is no regular file is refused at once, without waiting for a
// pipe's writer: a folder with EISDIR, anything else with ENXIO.
std::unique_ptr<CItemList> ReadListFile(const std::string& path);
// Replaces the file at `path` with `list`, or creates it, under the writers'
// lock (CListWriteLock): the old file stays as it was unless the new one was
// written in full. Raises CFileException (a file that cannot be written, a
// full disk, a list in use, ...) and CArchiveException.
void WriteListFile(const std::string& path, const CItemList& list);

// A list file changed in one go: Read() takes the writers' lock and reads
// the file, Write() puts the changed list in its place, and the lock is held
// from the one to the other, so that a change another writer makes meanwhile
// waits or is refused (the file is in use) rather than lost.
class CListFileUpdate {
public:
    explicit CListFileUpdate(std::string path);
    CListFileUpdate(const CListFileUpdate&) = delete;
    CListFileUpdate& operator=(const CListFileUpdate&) = delete;
    ~CListFileUpdate(); // lets the lock go

    const std::string& Path() const { return m_strPath; }
    // Takes the writers' lock, then reads the file as ReadListFile does.
    std::unique_ptr<CItemList> Read();
    // Saves `list` as WriteListFile does, still under the lock taken by
    // Read(), then lets it go.
    void Write(const CItemList& list);

private:
    std::string m_strPath;
    std::unique_ptr<CListWriteLock> m_pLock; // held from Read() to Write()
    std::unique_ptr<CDiskFile> m_pFile;      // the file read, open until Write()
};
