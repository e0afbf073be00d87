// Running a child as the unprivileged user nobody: tests run as root, and a
// permission or a capability only shows in a process without root's.
#pragma once

#include <pwd.h>

#include <string>
#include <vector>

// The words that run the command after them as nobody, in nobody's group
// with no supplementary one (util-linux's setpriv). With `bAmbientNetRaw`,
// it holds CAP_NET_RAW in its inheritable, permitted, effective and ambient
// sets, as a service unit's AmbientCapabilities=CAP_NET_RAW gives it.
inline std::vector<std::string> AsNobody(bool bAmbientNetRaw = false) {
    const passwd* pNobody = getpwnam("nobody");
    const std::string uid = pNobody ? std::to_string(pNobody->pw_uid) : "65534";
    const std::string gid = pNobody ? std::to_string(pNobody->pw_gid) : "65534";
    std::vector<std::string> words = {"setpriv", "--reuid=" + uid, "--regid=" + gid,
                                      "--clear-groups"};
    if (bAmbientNetRaw)
        words.insert(words.end(), {"--inh-caps", "+net_raw", "--ambient-caps", "+net_raw"});
    words.push_back("--");
    return words;
}
