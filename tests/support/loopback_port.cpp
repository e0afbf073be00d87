// SPDX-License-Identifier: Apache-2.0
#include "loopback_port.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

CLoopbackPort::CLoopbackPort(bool bListen, bool bIpv6) : m_bIpv6(bIpv6) {
    Bind();
    for (int nTry = 0; m_bIpv6 && !HoldIpv4Number(); ++nTry) {
        if (nTry == 100)
            throw std::runtime_error("cannot hold a loopback port's number on 127.0.0.1");
        close(m_nFd);
        m_nPort = 0;
        Bind();
    }
    if (bListen)
        SetListening(true);
}

// The address may be taken again at once: a port closed between probes is
// bound again to the same number.
void CLoopbackPort::Bind() {
    m_nFd = socket(m_bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_addr = in6addr_loopback;
    address6.sin6_port = htons(static_cast<uint16_t>(m_nPort));
    sockaddr_in address4{};
    address4.sin_family = AF_INET;
    address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address4.sin_port = htons(static_cast<uint16_t>(m_nPort));
    auto* pAddress =
        m_bIpv6 ? reinterpret_cast<sockaddr*>(&address6) : reinterpret_cast<sockaddr*>(&address4);
    socklen_t nLength = m_bIpv6 ? sizeof address6 : sizeof address4;
    if (m_nFd < 0 || setsockopt(m_nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0 ||
        bind(m_nFd, pAddress, nLength) != 0 || getsockname(m_nFd, pAddress, &nLength) != 0)
        throw std::runtime_error("cannot open a loopback port");
    m_nPort = ntohs(m_bIpv6 ? address6.sin6_port : address4.sin_port);
}

bool CLoopbackPort::HoldIpv4Number() {
    m_nIpv4Holder = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(m_nPort));
    if (m_nIpv4Holder >= 0 &&
        bind(m_nIpv4Holder, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return true;
    close(m_nIpv4Holder);
    m_nIpv4Holder = -1;
    return false;
}

void CLoopbackPort::SetListening(bool bListen) {
    if (bListen) {
        if (listen(m_nFd, 4096) != 0)
            throw std::runtime_error("cannot listen on a loopback port");
        return;
    }
    close(m_nFd);
    Bind();
}

CLoopbackPort::~CLoopbackPort() {
    close(m_nFd);
    if (m_nIpv4Holder >= 0)
        close(m_nIpv4Holder);
}

int CLoopbackPort::AcceptAndDrain() {
    pollfd pfd{m_nFd, POLLIN, 0};
    if (poll(&pfd, 1, 0) != 1)
        return -1;
    int nConnection = accept4(m_nFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (nConnection < 0)
        return -1;
    char buffer[64];
    int nTotal = 0;
    ssize_t n;
    while ((n = recv(nConnection, buffer, sizeof buffer, 0)) > 0)
        nTotal += static_cast<int>(n);
    close(nConnection);
    return n < 0 ? -2 : nTotal;
}
