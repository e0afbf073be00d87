// SPDX-License-Identifier: Apache-2.0
#include "loopback_targets.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {
bool WriteProcFile(const char* pszPath, const char* pszValue) {
    FILE* pFile = std::fopen(pszPath, "w");
    if (!pFile)
        return false;
    bool bOk = std::fputs(pszValue, pFile) >= 0;
    return std::fclose(pFile) == 0 && bOk;
}

} // namespace

bool EnterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0)
        return false;
    int nFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    request.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    bool bUp = nFd >= 0 && ioctl(nFd, SIOCSIFFLAGS, &request) == 0;
    if (nFd >= 0)
        close(nFd);
    WriteProcFile("/proc/sys/net/ipv4/ip_local_port_range", "1024 65535\n");
    return bUp;
}

bool SetPingGroupRange(const char* pszRange) {
    return WriteProcFile("/proc/sys/net/ipv4/ping_group_range", pszRange);
}

CLoopbackTargets::CLoopbackTargets(int nEach) {
    for (int i = 0; i < nEach; ++i) {
        m_ports.push_back(m_listening.emplace_back(std::make_unique<CLoopbackPort>(true))->Port());
        m_ports.push_back(m_refusing.emplace_back(std::make_unique<CLoopbackPort>(false))->Port());
    }
}

int CLoopbackTargets::DrainConnections() {
    int nCount = 0;
    for (const auto& port : m_listening)
        while (port->AcceptAndDrain() != -1)
            ++nCount;
    return nCount;
}
