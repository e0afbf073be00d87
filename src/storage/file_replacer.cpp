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

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where `path` leads through symbolic links, a last link that points to
// nothing yet included, so that saving through a link writes where it
// points and keeps the link. A relative link counts from its own folder. A
// path that is no link, or a loop, stays as it is; opening it then tells.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) < 0 || !S_ISLNK(st.st_mode))
            return path;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<size_t>(n) == sizeof target)
            return path;
        const std::string next(target, static_cast<size_t>(n));
        path = next[0] == '/' ? next : Folder(path) + "/" + next;
    }
    return path;
}

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
        ::unlink(m_strName.c_str());
}

CFileReplacer::CFileReplacer(const std::string& path, const CDiskFile* pLocked, EMode mode)
    : m_strPath(path), m_strTarget(FollowLinks(path)) {
    struct stat st;
    if (::stat(path.c_str(), &st) < 0) {
        if (errno != ENOENT)
            Fail(errno);
        if (const int err = CreateTemporary(0666)) // a new file as any other, less the umask
            Fail(err);
        if (mode == EMode::kWholeOnly)
            GrantOwnerReadWrite();
        return;
    }
    OpenOld(pLocked);
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
// not ask) and a folder; the lock keeps other openers out until the end.
// A caller that holds the lock already must hold it on this very file.
void CFileReplacer::OpenOld(const CDiskFile* pLocked) {
    m_pOld = std::make_unique<CDiskFile>(m_strPath, O_WRONLY | O_NONBLOCK, 0, !pLocked);
    struct stat old;
    if (::fstat(m_pOld->GetDescriptor(), &old) < 0)
        Fail(errno);
    if (pLocked) {
        struct stat locked;
        if (::fstat(pLocked->GetDescriptor(), &locked) < 0)
            Fail(errno);
        if (locked.st_dev != old.st_dev || locked.st_ino != old.st_ino)
            Fail(EWOULDBLOCK); // replaced by someone who does not lock
    }
    m_bOldRegular = S_ISREG(old.st_mode);
}

// A new hidden file beside the target, created exclusively under a random
// name with `mode` and locked. Returns 0, or the errno of the failed
// creation; a failed lock raises, and the file is removed.
int CFileReplacer::CreateTemporary(unsigned mode) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::string stem = Folder(m_strTarget) + "/." + BaseName(m_strTarget) + ".";
    for (int attempt = 0;; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        const std::string name = stem + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_temp.Hold(name);
            m_pTemp = std::make_unique<CDiskFile>(fd, m_strPath);
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
    if (::rename(m_temp.Name().c_str(), m_strTarget.c_str()) < 0)
        Fail(errno);
    m_temp.Release();
    // Make the rename itself durable; a folder that cannot be synced still
    // holds the new file.
    const int dir = ::open(Folder(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    m_pOld.reset();
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
