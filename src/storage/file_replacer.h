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
        // replacement may open it.
        kWholeOnly,
    };

    // Checks that an existing file at `path` may be written (it is opened for
    // writing) and locks it until the end, or relies on `pLocked`, the same
    // file already held locked by the caller. Creates the temporary file
    // where `path` leads, through symbolic links that may point to nothing
    // yet. Raises CFileException naming `path`.
    explicit CFileReplacer(const std::string& path, const CDiskFile* pLocked = nullptr,
                           EMode mode = EMode::kInPlaceFallback);
    CFileReplacer(const CFileReplacer&) = delete;
    CFileReplacer& operator=(const CFileReplacer&) = delete;
    ~CFileReplacer();

    // Where the new content goes.
    CFile& File();
    // Flushes the new content to disk and puts it in place of the old file.
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
        void Hold(std::string strName) { m_strName = std::move(strName); }
        void Release() { m_strName.clear(); }
        const std::string& Name() const { return m_strName; }

    private:
        std::string m_strName;
    };

    void OpenOld(const CDiskFile* pLocked);
    int CreateTemporary(unsigned mode);
    void GrantOwnerReadWrite();
    void SettleOwnerAndMode(const struct stat& old);
    void CommitInPlace();
    [[noreturn]] void Fail(int nErrno) const;

    std::string m_strPath;   // as given, for errors
    std::string m_strTarget; // the file to replace: `path`, or where its symbolic links lead
    std::unique_ptr<CDiskFile> m_pOld; // the existing file, held locked unless the caller holds it
    bool m_bOldRegular = false;        // a device or pipe gets the bytes directly
    CTempName m_temp;
    std::unique_ptr<CDiskFile> m_pTemp; // null when writing in place
};
