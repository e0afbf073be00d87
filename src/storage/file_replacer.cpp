#include "storage/file_replacer.h"

#include "framework/exception.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a path that is a symbolic link points, so that saving through the
// link replaces the file and keeps the link.
std::string LinkTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            return resolved;
    }
    return path;
}
} // namespace

CFileReplacer::CFileReplacer(const std::string& path) : m_strPath(path) {
    struct stat old;
    if (::stat(path.c_str(), &old) < 0) {
        if (errno != ENOENT)
            Fail(errno);
        m_strTarget = path;
        CreateTemporary(nullptr);
        return;
    }
    // Opening for writing refuses a file this user may not write (rename
    // would not ask) and a folder; the lock keeps other openers out.
    m_pOld = std::make_unique<CDiskFile>(path, O_WRONLY | O_NONBLOCK);
    if (!S_ISREG(old.st_mode))
        return; // a device or pipe gets the bytes directly
    m_strTarget = LinkTarget(path);
    CreateTemporary(&old);
}

CFileReplacer::~CFileReplacer() {
    if (m_pTemp && !m_bDone) {
        m_pTemp.reset();
        ::unlink(m_strTemp.c_str());
    }
}

[[noreturn]] void CFileReplacer::Fail(int nErrno) const {
    throw CFileException(nErrno, m_strPath);
}

// A new hidden file beside the target, created exclusively under a random
// name; a replaced file's owner and permissions carry over to it.
void CFileReplacer::CreateTemporary(const struct stat* pOld) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::string stem = Folder(m_strTarget) + "/." + BaseName(m_strTarget) + ".";
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        m_strTemp = stem + suffix;
        fd = ::open(m_strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            Fail(errno);
    }
    m_pTemp = std::make_unique<CDiskFile>(fd, m_strPath);
    if (pOld) {
        // Changing the owner may be refused to an ordinary user; the file is
        // then theirs, which is what any new file of theirs would be.
        [[maybe_unused]] int ignored = ::fchown(fd, pOld->st_uid, pOld->st_gid);
        if (::fchmod(fd, pOld->st_mode & 07777) < 0) {
            const int err = errno;
            m_pTemp.reset();
            ::unlink(m_strTemp.c_str());
            Fail(err);
        }
    }
}

CFile& CFileReplacer::File() {
    return m_pTemp ? static_cast<CFile&>(*m_pTemp) : *m_pOld;
}

void CFileReplacer::Commit() {
    if (!m_pTemp) {
        m_pOld->Close();
        m_bDone = true;
        return;
    }
    m_pTemp->Sync();
    m_pTemp->Close();
    if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) < 0)
        Fail(errno);
    m_bDone = true;
    // Make the rename itself durable; a folder that cannot be synced still
    // holds the new file.
    const int dir = ::open(Folder(m_strTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    m_pOld.reset();
}
