// Running a child as the unprivileged user nobody: tests run as root, and a
// permission or a capability only shows in a process without root's.
#pragma once

#include <string>
#include <vector>

// The words that run the command after them as nobody, in group nogroup
// with no supplementary one (util-linux's setpriv). With `bAmbientNetRaw`,
// it holds CAP_NET_RAW in its inheritable, permitted, effective and ambient
// sets, as a service unit's AmbientCapabilities=CAP_NET_RAW gives it.
inline std::vector<std::string> AsNobody(bool bAmbientNetRaw = false) {
    if (bAmbientNetRaw)
        return {"setpriv",        "--reuid=nobody", "--regid=nogroup",
                "--clear-groups", "--inh-caps",     "+net_raw",
                "--ambient-caps", "+net_raw",       "--"};
    return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
}
