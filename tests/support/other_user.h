// SPDX-License-Identifier: Apache-2.0
// Acting as a user other than root, whose bypass of file modes would hide
// what a person meets: switching a forked child to another user, and a copy
// of a built program that such a user may run wherever the build tree sits.
#pragma once

#include "support/test_files.h"

#include <grp.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <functional>

inline constexpr uid_t kNobody = 65534; // user nobody, and its group nogroup

// In a forked child: becomes user `uid` with primary group `gid` and only the
// supplementary `groups`. Empty on success, else what failed.
inline std::string BecomeUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups = {}) {
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
        return "cannot become user " + std::to_string(uid);
    return "";
}

// In a forked child: becomes nobody, with only the supplementary `groups`.
// With `bAmbientNetRaw`, it keeps CAP_NET_RAW in its inheritable, permitted,
// effective and ambient sets, as a service unit's
// AmbientCapabilities=CAP_NET_RAW gives it, so that a program it starts
// holds it too.
inline std::string BecomeNobody(const std::vector<gid_t>& groups = {},
                                bool bAmbientNetRaw = false) {
    if (bAmbientNetRaw && prctl(PR_SET_KEEPCAPS, 1) != 0)
        return "cannot keep capabilities";
    if (!BecomeUser(kNobody, kNobody, groups).empty())
        return "cannot become nobody";
    if (!bAmbientNetRaw)
        return "";
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    data[0].effective = data[0].permitted = data[0].inheritable = 1u << CAP_NET_RAW;
    const bool bRaised = syscall(SYS_capset, &header, data) == 0 &&
                         prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_RAW, 0, 0) == 0;
    return bRaised ? "" : "cannot raise CAP_NET_RAW";
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

// The words that run the command after them as nobody, in group nogroup
// with no supplementary one (util-linux's setpriv). With `bAmbientNetRaw`,
// it holds CAP_NET_RAW in its inheritable, permitted, effective and ambient
// sets, as a service unit's AmbientCapabilities=CAP_NET_RAW gives it. The
// program it runs must be one nobody may reach (a CProgramCopy).
inline std::vector<std::string> AsNobody(bool bAmbientNetRaw = false) {
    if (bAmbientNetRaw)
        return {"setpriv",        "--reuid=nobody", "--regid=nogroup",
                "--clear-groups", "--inh-caps",     "+net_raw",
                "--ambient-caps", "+net_raw",       "--"};
    return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
}

// A child process that becomes nobody, runs `fnSetUp` (takes locks, makes
// links, ...) and then stays, holding what it opened, until this goes away.
class CAsNobody {
public:
    explicit CAsNobody(const std::function<std::string()>& fnSetUp) {
        int ready[2], stay[2];
        if (::pipe(ready) < 0 || ::pipe(stay) < 0 || (m_pid = ::fork()) < 0)
            return;
        if (m_pid == 0) {
            ::close(stay[1]); // so that the parent's close ends the wait below
            const std::string strBecome = BecomeNobody();
            const std::string result = (strBecome.empty() ? fnSetUp() : strBecome) + "\n";
            [[maybe_unused]] ssize_t n = ::write(ready[1], result.data(), result.size());
            n = ::read(stay[0], ready, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(stay[0]);
        m_nStay = stay[1];
        m_strResult.clear();
        for (char c; ::read(ready[0], &c, 1) == 1 && c != '\n';)
            m_strResult += c;
        ::close(ready[0]);
    }
    ~CAsNobody() {
        ::close(m_nStay);
        ::waitpid(m_pid, nullptr, 0);
    }
    CAsNobody(const CAsNobody&) = delete;
    CAsNobody& operator=(const CAsNobody&) = delete;
    // What fnSetUp returned: empty when it worked.
    const std::string& Result() const { return m_strResult; }

private:
    pid_t m_pid = -1;
    int m_nStay = -1;
    std::string m_strResult = "no child";
};
