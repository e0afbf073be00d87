// SPDX-License-Identifier: Apache-2.0
// CFileReplacer: gives a file new content without ever leaving it half
// written. The new bytes go to a temporary file in the same folder, which
// replaces the old file in one rename once it is complete and on disk; until
// then the old file is untouched, and a replacement that fails on any path
// removes its temporary file.
//
// The temporary file is private (0600) until it has the old file's owner and
// group, or as much of them as the saver may give it, and only then takes
// the old permissions: those of a group it could not keep are dropped along
// with those of others, so that a list never opens itself to the saver's own
// group. When the folder refuses the temporary file for lack of permission
// while the file itself may be written, the bytes go into the old file in
// place instead, and the file is cut after them, unless the replacer must
// replace whole (EMode::kWholeOnly).
//
// The replacer locks nothing that others may open (only, in kInPlaceFallback
// mode, its own private temporary file): keeping other writers out is the
// caller's business (CListWriteLock for lists). It finds the file's
// folder once, through symbolic links that the kernel's protected-symlinks
// rule lets it follow, and then creates, opens and renames relative to that
// folder's descriptor, so that nothing swapped in along the path meanwhile
// can redirect it.
#pragma once

#include "framework/disk_file.h"

#include <memory>
#include <string>

struct stat;

class CFileReplacer {
public:
    enum class EMode {
        // A folder closed to the temporary file gets the bytes in the old file.
        kInPlaceFallback,
        // For files that others read at any time: a reader finds the old
        // content or the new, whole, never part of it, and a folder closed to
        // the temporary file fails the replacement. A new file is readable
        // and writable by its owner whatever the umask, so that the next
        // replacement may open it. No lock at all is taken.
        kWholeOnly,
    };

    // Checks that an existing file at `path` may be written (it is opened for
    // writing, without a lock) and, given `pRead`, that it is still the file
    // the caller read, else fails with EWOULDBLOCK; Commit() then checks it
    // once more as it puts the new file in place. Creates the temporary
    // file where `path` leads, through symbolic links that may point to
    // nothing yet. Raises CFileException naming `path`.
    explicit CFileReplacer(const std::string& path, const CDiskFile* pRead = nullptr,
                           EMode mode = EMode::kInPlaceFallback);
    CFileReplacer(const CFileReplacer&) = delete;
    CFileReplacer& operator=(const CFileReplacer&) = delete;
    ~CFileReplacer();

    // Where `path` leads through symbolic links, a last link that points to
    // nothing yet included. A link that the kernel's protected-symlinks rule
    // would not let this user follow (another user's link in a sticky
    // folder that others may write) raises CFileException EACCES naming
    // `path`.
    static std::string FollowLinks(const std::string& path);
    // The folder part of a path and the name in it.
    static std::string Folder(const std::string& path);
    static std::string BaseName(const std::string& path);

    // Where the new content goes.
    CFile& File();
    // Flushes the new content to disk and puts it in place of the old file.
    // Given a file the caller read, the two trade places in one step
    // (renameat2 RENAME_EXCHANGE), and the file that left is checked to be
    // the one read: when a writer that ignored the writers' lock replaced
    // it meanwhile, its file is put back and the commit fails with
    // EWOULDBLOCK, so that its change is not lost.
    void Commit();

private:
    // The temporary file's name while a file exists under it; the file is
    // removed when this goes away still holding it, also when the
    // replacer's constructor fails half way.
    class CTempName {
    public:
        CTempName() = default;
        CTempName(const CTempName&) = delete;
        CTempName& operator=(const CTempName&) = delete;
        ~CTempName();
        void Hold(int nFolder, std::string strName) {
            m_nFolder = nFolder;
            m_strName = std::move(strName);
        }
        void Release() { m_strName.clear(); }
        const std::string& Name() const { return m_strName; }

    private:
        int m_nFolder = -1;
        std::string m_strName;
    };

    // An open folder, closed when it goes.
    struct COpenFolder {
        int m_nFd = -1;
        COpenFolder() = default;
        COpenFolder(const COpenFolder&) = delete;
        COpenFolder& operator=(const COpenFolder&) = delete;
        ~COpenFolder();
    };

    void OpenOld(const CDiskFile* pRead);
    int CreateTemporary(unsigned mode);
    void GrantOwnerReadWrite();
    void SettleOwnerAndMode(const struct stat& old);
    void CommitInPlace();
    void ExchangeChecked();
    [[noreturn]] void Fail(int nErrno) const;

    std::string m_strPath;   // as given, for errors
    std::string m_strTarget; // the file to replace: `path`, or where its symbolic links lead
    std::string m_strName;   // the target's name in its folder
    COpenFolder m_folder;    // the target's folder; declared before what uses it
    bool m_bWholeOnly;
    std::unique_ptr<CDiskFile> m_pOld; // the existing file, open for writing
    bool m_bOldRegular = false;        // a device or pipe gets the bytes directly
    bool m_bCheckRead = false;         // the file replaced must be the one read:
    dev_t m_nReadDevice = 0;           // its device
    ino_t m_nReadInode = 0;            // and inode
    CTempName m_temp;
    std::unique_ptr<CDiskFile> m_pTemp; // null when writing in place
};
