// Acting as a user other than root, whose bypass of file modes would hide
// what a person meets: switching a forked child to another user, and a copy
// of a built program that such a user may run wherever the build tree sits.
#pragma once

#include "support/test_files.h"

#include <grp.h>
#include <sys/stat.h>

inline constexpr uid_t kNobody = 65534; // user nobody, and its group nogroup

// In a forked child: becomes user `uid` with primary group `gid` and only the
// supplementary `groups`. Empty on success, else what failed.
inline std::string BecomeUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups = {}) {
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
        return "cannot become user " + std::to_string(uid);
    return "";
}

// In a forked child: becomes nobody, with no supplementary groups.
inline std::string BecomeNobody() {
    return BecomeUser(kNobody, kNobody).empty() ? "" : "cannot become nobody";
}

// A copy of the program at `strProgram` in a fresh folder every user may
// enter, removed at the end: the build tree may sit under a folder only its
// owner may enter (a clone in a 0700 home folder).
class CProgramCopy {
public:
    explicit CProgramCopy(const std::string& strProgram)
        : m_strPath(m_dir / std::filesystem::path(strProgram).filename()) {
        std::error_code ec;
        std::filesystem::copy_file(strProgram, m_strPath, ec);
        chmod(m_dir.Path().c_str(), 0755);
        chmod(m_strPath.c_str(), 0755);
    }
    const std::string& Path() const { return m_strPath; }

private:
    CTempDir m_dir;
    std::string m_strPath;
};
