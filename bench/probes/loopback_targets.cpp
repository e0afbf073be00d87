#include "loopback_targets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {
bool WriteProcFile(const char* pszPath, const char* pszValue) {
    FILE* pFile = std::fopen(pszPath, "w");
    if (!pFile)
        return false;
    bool bOk = std::fputs(pszValue, pFile) >= 0;
    return std::fclose(pFile) == 0 && bOk;
}

int OpenLoopbackSocket(bool bListen, int& nPort) {
    int nFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof address;
    if (nFd < 0 || bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nLength) != 0 ||
        (bListen && listen(nFd, 4096) != 0))
        throw std::runtime_error("cannot open a loopback port");
    nPort = ntohs(address.sin_port);
    return nFd;
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
        int nPort = 0;
        m_listeningFds.push_back(OpenLoopbackSocket(true, nPort));
        m_ports.push_back(nPort);
        m_refusingFds.push_back(OpenLoopbackSocket(false, nPort));
        m_ports.push_back(nPort);
    }
}

CLoopbackTargets::~CLoopbackTargets() {
    for (int nFd : m_listeningFds)
        close(nFd);
    for (int nFd : m_refusingFds)
        close(nFd);
}

int CLoopbackTargets::DrainConnections() {
    int nCount = 0;
    for (int nFd : m_listeningFds)
        for (int nConnection; (nConnection = accept(nFd, nullptr, nullptr)) >= 0; ++nCount)
            close(nConnection);
    return nCount;
}
