// SPDX-License-Identifier: Apache-2.0
#include "storage/file_replacer.h"

#include "framework/exception.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// As many symbolic links as the kernel follows in one path before ELOOP.
constexpr int kMaxLinks = 40;

// Whether the kernel's protected-symlinks rule lets this user follow the
// link `link` in `folder`: a link in a sticky folder that others may write
// is followed only by its owner, or when the folder's owner owns it too. The
// rule is applied whether or not the kernel enforces it, since the links are
// read here, not followed by the kernel.
bool MayFollow(const struct stat& link, const std::string& folder) {
    struct stat dir;
    if (link.st_uid == ::geteuid() || ::stat(folder.c_str(), &dir) < 0)
        return true; // an unreadable folder: opening through it then tells
    const mode_t open = S_ISVTX | S_IWOTH;
    return (dir.st_mode & open) != open || dir.st_uid == link.st_uid;
}
} // namespace

std::string CFileReplacer::Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string CFileReplacer::BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Saving through a link writes where it points and keeps the link. A
// relative link counts from its own folder. A path that is no link, or a
// loop, stays as it is; opening it then tells.
std::string CFileReplacer::FollowLinks(const std::string& given) {
    std::string path = given;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) < 0 || !S_ISLNK(st.st_mode))
            return path;
        if (!MayFollow(st, Folder(path)))
            throw CFileException(EACCES, given);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<size_t>(n) == sizeof target)
            return path;
        const std::string next(target, static_cast<size_t>(n));
        path = next[0] == '/' ? next : Folder(path) + "/" + next;
    }
    return path;
}

namespace {
// The old permissions for a new file that has `now`'s owner and group: what
// belongs to a group it could not keep goes, and what others may do with
// it, since the file is now in a group its old readers and writers may not
// be in; a set-id bit goes with the owner or group it stood for.
mode_t KeptMode(const struct stat& old, const struct stat& now) {
    mode_t mode = old.st_mode & 07777;
    if (now.st_uid != old.st_uid)
        mode &= ~S_ISUID;
    if (now.st_gid != old.st_gid)
        mode &= ~(S_ISGID | S_IRWXG | S_IRWXO);
    return mode;
}
} // namespace

CFileReplacer::CTempName::~CTempName() {
    if (!m_strName.empty())
        ::unlinkat(m_nFolder, m_strName.c_str(), 0);
}

CFileReplacer::COpenFolder::~COpenFolder() {
    if (m_nFd >= 0)
        ::close(m_nFd);
}

CFileReplacer::CFileReplacer(const std::string& path, const CDiskFile* pRead, EMode mode)
    : m_strPath(path), m_strTarget(FollowLinks(path)), m_strName(BaseName(m_strTarget)),
      m_bWholeOnly(mode == EMode::kWholeOnly) {
    m_folder.m_nFd = ::open(Folder(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder.m_nFd < 0)
        Fail(errno);
    struct stat st;
    if (::fstatat(m_folder.m_nFd, m_strName.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0) {
        if (errno != ENOENT)
            Fail(errno);
        if (const int err = CreateTemporary(0666)) // a new file as any other, less the umask
            Fail(err);
        if (mode == EMode::kWholeOnly)
            GrantOwnerReadWrite();
        return;
    }
    OpenOld(pRead);
    if (!m_bOldRegular)
        return;
    if (::fstat(m_pOld->GetDescriptor(), &st) < 0)
        Fail(errno);
    const int err = CreateTemporary(0600);
    if ((err == EACCES || err == EPERM) && mode == EMode::kInPlaceFallback)
        return; // the folder is closed to us, the file is not: write it in place
    if (err)
        Fail(err);
    SettleOwnerAndMode(st);
}

CFileReplacer::~CFileReplacer() = default;

[[noreturn]] void CFileReplacer::Fail(int nErrno) const {
    throw CFileException(nErrno, m_strPath);
}

// Opening for writing refuses a file this user may not write (rename would
// not ask) and a folder; a link put in the target's place since it was
// found is not followed. A file the caller read must still be this one.
void CFileReplacer::OpenOld(const CDiskFile* pRead) {
    const int fd = ::openat(m_folder.m_nFd, m_strName.c_str(),
                            O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        Fail(errno);
    m_pOld = std::make_unique<CDiskFile>(fd, m_strPath, false);
    struct stat old;
    if (::fstat(m_pOld->GetDescriptor(), &old) < 0)
        Fail(errno);
    if (pRead) {
        struct stat read;
        if (::fstat(pRead->GetDescriptor(), &read) < 0)
            Fail(errno);
        if (read.st_dev != old.st_dev || read.st_ino != old.st_ino)
            Fail(EWOULDBLOCK); // replaced by someone who does not take the writers' lock
        m_bCheckRead = true;
        m_nReadDevice = read.st_dev;
        m_nReadInode = read.st_ino;
    }
    m_bOldRegular = S_ISREG(old.st_mode);
}

// A new hidden file beside the target, created exclusively under a random
// name with `mode`, and locked unless others read the target at any time.
// Returns 0, or the errno of the failed creation; a failed lock raises, and
// the file is removed.
int CFileReplacer::CreateTemporary(unsigned mode) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::string stem = "." + m_strName + ".";
    for (int attempt = 0;; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        const std::string name = stem + suffix;
        const int fd = ::openat(m_folder.m_nFd, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_temp.Hold(m_folder.m_nFd, name);
            m_pTemp = std::make_unique<CDiskFile>(fd, m_strPath, !m_bWholeOnly);
            return 0;
        }
        if (errno != EEXIST || attempt == 100)
            return errno;
    }
}

void CFileReplacer::GrantOwnerReadWrite() {
    const int fd = m_pTemp->GetDescriptor();
    struct stat st;
    if (::fstat(fd, &st) < 0)
        Fail(errno);
    if ((st.st_mode & 0600) != 0600 && ::fchmod(fd, (st.st_mode & 07777) | 0600) < 0)
        Fail(errno);
}

// Gives the temporary file the old owner and group, or when this user may
// not give the owner, the group alone (a member of it may), and then the old
// permissions as far as they still fit.
void CFileReplacer::SettleOwnerAndMode(const struct stat& old) {
    const int fd = m_pTemp->GetDescriptor();
    if (::fchown(fd, old.st_uid, old.st_gid) < 0) {
        [[maybe_unused]] int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    struct stat now;
    if (::fstat(fd, &now) < 0 || ::fchmod(fd, KeptMode(old, now)) < 0)
        Fail(errno);
}

CFile& CFileReplacer::File() {
    return m_pTemp ? static_cast<CFile&>(*m_pTemp) : *m_pOld;
}

void CFileReplacer::Commit() {
    if (!m_pTemp)
        return CommitInPlace();
    m_pTemp->Sync();
    m_pTemp->Close();
    if (m_bCheckRead)
        ExchangeChecked();
    else if (::renameat(m_folder.m_nFd, m_temp.Name().c_str(), m_folder.m_nFd, m_strName.c_str()) <
             0)
        Fail(errno);
    m_temp.Release();
    // Make the rename itself durable; a folder that cannot be synced still
    // holds the new file.
    ::fsync(m_folder.m_nFd);
    m_pOld.reset();
}

// The new file takes the old one's place and the old one its name, which is
// then removed; a file system that cannot exchange gets a plain rename.
void CFileReplacer::ExchangeChecked() {
    const int dir = m_folder.m_nFd;
    const char* pszTemp = m_temp.Name().c_str();
    if (::renameat2(dir, pszTemp, dir, m_strName.c_str(), RENAME_EXCHANGE) < 0) {
        if (errno != EINVAL || ::renameat(dir, pszTemp, dir, m_strName.c_str()) < 0)
            Fail(errno);
        return;
    }
    struct stat left;
    if (::fstatat(dir, pszTemp, &left, AT_SYMLINK_NOFOLLOW) == 0 && left.st_dev == m_nReadDevice &&
        left.st_ino == m_nReadInode) {
        ::unlinkat(dir, pszTemp, 0);
        return;
    }
    ::renameat2(dir, pszTemp, dir, m_strName.c_str(), RENAME_EXCHANGE);
    Fail(EWOULDBLOCK); // the temporary name, again holding the new file, goes
}

// The old file took the new bytes from its start; a regular file is cut
// after them, since the old content may have been longer, and synced.
void CFileReplacer::CommitInPlace() {
    if (m_bOldRegular) {
        m_pOld->Truncate();
        m_pOld->Sync();
    }
    m_pOld->Close();
}
