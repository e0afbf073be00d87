// Reading and writing list files: each holds exactly one CItemList.
#pragma once

#include "model/item_list.h"

#include <memory>
#include <string>

class CDiskFile;
class CFile;

// Reads one list from `file` through a 4096-byte archive buffer. Returns null
// when the data begins with the null tag. Raises CArchiveException for a
// malformed file and CFileException when reading fails.
std::unique_ptr<CItemList> ReadList(CFile& file);
// Writes `list` to `file` and flushes the archive buffer.
void WriteList(CFile& file, const CItemList& list);

// Opens the list file at `path` (locked while open) and reads it as ReadList does.
std::unique_ptr<CItemList> ReadListFile(const std::string& path);
// Replaces the file at `path` with `list`, or creates it: the old file stays
// as it was unless the new one was written in full. Raises CFileException
// (a file that cannot be written, a full disk, ...) and CArchiveException.
void WriteListFile(const std::string& path, const CItemList& list);

// A list file changed in one go: Read() opens and locks the file, Write()
// puts the changed list in its place, and the lock is held from the one to
// the other, so that a change another process makes meanwhile is refused
// (the file is in use) rather than lost.
class CListFileUpdate {
public:
    explicit CListFileUpdate(std::string path);
    CListFileUpdate(const CListFileUpdate&) = delete;
    CListFileUpdate& operator=(const CListFileUpdate&) = delete;
    ~CListFileUpdate(); // lets the lock go

    const std::string& Path() const { return m_strPath; }
    // Opens and locks the file, then reads it as ReadListFile does.
    std::unique_ptr<CItemList> Read();
    // Saves `list` as WriteListFile does, still under the lock taken by
    // Read(), then lets it go.
    void Write(const CItemList& list);

private:
    std::string m_strPath;
    std::unique_ptr<CDiskFile> m_pFile; // open and locked from Read() to Write()
};
