// CFileReplacer: gives a file new content without ever leaving it half
// written. The new bytes go to a temporary file in the same folder, which
// replaces the old file in one rename once it is complete and on disk; until
// then the old file is untouched, and a replacement that is given up removes
// its temporary file.
#pragma once

#include "framework/disk_file.h"

#include <memory>
#include <string>

class CFileReplacer {
public:
    // Checks that an existing file at `path` may be written (it is opened for
    // writing and locked until the end) and creates the temporary file with
    // the old file's permissions. Raises CFileException naming `path`.
    explicit CFileReplacer(const std::string& path);
    CFileReplacer(const CFileReplacer&) = delete;
    CFileReplacer& operator=(const CFileReplacer&) = delete;
    ~CFileReplacer(); // removes the temporary file unless Commit() ran

    // Where the new content goes.
    CFile& File();
    // Flushes the new content to disk and puts it in place of the old file.
    void Commit();

private:
    void CreateTemporary(const struct stat* pOld);
    [[noreturn]] void Fail(int nErrno) const;

    std::string m_strPath;   // as given, for errors
    std::string m_strTarget; // the file to replace: `path`, or where its symbolic link points
    std::string m_strTemp;
    std::unique_ptr<CDiskFile> m_pOld;  // the existing file, held locked
    std::unique_ptr<CDiskFile> m_pTemp; // null when writing in place
    bool m_bDone = false;
};
