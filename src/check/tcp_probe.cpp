// SPDX-License-Identifier: Apache-2.0
#include "check/tcp_probe.h"

#include "check/file_descriptor.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace {
// On loopback a probe costs little more than its handshake, so every system
// call beside the connect shows; the ones below are made only where needed.

// The port range the stack chooses a connecting socket's local port from
// (net.ipv4.ip_local_port_range, which serves IPv6 too), as low << 16 | high;
// 0 until read. It is read once per process and once more in a forked child,
// which may enter a network namespace of its own (with its own range) before
// it probes; the whole port space when it cannot be read.
std::atomic<uint32_t> g_nLocalPorts{0};

uint32_t ReadLocalPortRange() {
    constexpr uint32_t kAnyPort = 1u << 16 | 65535;
    CFileDescriptor fd(open("/proc/sys/net/ipv4/ip_local_port_range", O_RDONLY | O_CLOEXEC));
    char text[32] = "";
    const ssize_t nRead = fd.IsOpen() ? read(fd.Get(), text, sizeof text - 1) : -1;
    unsigned int nLow = 0, nHigh = 0;
    if (nRead <= 0 || std::sscanf(text, "%u %u", &nLow, &nHigh) != 2 || nLow < 1 || nLow > nHigh ||
        nHigh > 65535)
        return kAnyPort;
    return nLow << 16 | nHigh;
}

// Only a port the stack may choose as the local one can be met by a
// connection to itself.
bool InLocalPortRange(uint16_t nPort) {
    static const bool bForgetInChild =
        pthread_atfork(nullptr, nullptr, [] { g_nLocalPorts.store(0); }) == 0;
    (void)bForgetInChild;
    uint32_t nRange = g_nLocalPorts.load(std::memory_order_relaxed);
    if (nRange == 0) {
        nRange = ReadLocalPortRange();
        g_nLocalPorts.store(nRange, std::memory_order_relaxed);
    }
    return nPort >= nRange >> 16 && nPort <= (nRange & 0xffff);
}

// Whether the stack connected the socket to itself: a connect to a port of
// this host that nobody listens on meets its own SYN (simultaneous open)
// when the stack chose that very port as the local one. The peer's port is
// the one connected to, so the local port alone rules it out, and only a
// port in the local range needs asking; the peer's address (which for the
// unspecified address is not the one connected to) only when the ports agree.
bool IsConnectedToItself(int nFd, uint16_t nPort) {
    if (!InLocalPortRange(nPort))
        return false;
    sockaddr_storage local{}, peer{};
    socklen_t nLocal = sizeof local, nPeer = sizeof peer;
    if (getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &nLocal) != 0)
        return true; // not known to be a real connection
    // Both families keep the port at the same place.
    if (reinterpret_cast<const sockaddr_in&>(local).sin_port != htons(nPort))
        return false;
    if (getpeername(nFd, reinterpret_cast<sockaddr*>(&peer), &nPeer) != 0)
        return true;
    return FromSocketAddress(local).SameHost(FromSocketAddress(peer));
}

bool KernelEndsConnectAtUserTimeout() {
    static const bool bEnds = [] {
        utsname name{};
        return uname(&name) == 0 && UserTimeoutEndsConnect(name.release);
    }();
    return bEnds;
}

// The socket is left unbound: bound to any address and port 0 it would be
// the same, and the port is left to connect to choose, so that it may be
// shared by connections to other destinations (bound alone, it would have to
// be free for every destination, and once many connections of earlier passes
// sit in TIME_WAIT the search for one costs more than the connect itself).
CFileDescriptor OpenSocket(bool bIpv6, std::chrono::milliseconds timeout) {
    CFileDescriptor fd(
        socket(bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.IsOpen())
        SetConnectTimeout(fd.Get(), timeout);
    return fd;
}
} // namespace

bool UserTimeoutEndsConnect(const char* pszRelease) {
    unsigned int nMajor = 0, nMinor = 0;
    if (std::sscanf(pszRelease, "%u.%u", &nMajor, &nMinor) != 2)
        return false;
    return nMajor > 4 || (nMajor == 4 && nMinor >= 19);
}

// The stack still decides when the attempt has failed, by its own
// retransmissions; only their limit changes. The user timeout ends an
// unanswered SYN where the kernel applies it to one; elsewhere TCP_SYNCNT
// bounds the retransmissions: 4 retries end after 31 s with the classic
// backoff.
void SetConnectTimeout(int nFd, std::chrono::milliseconds timeout) {
    const unsigned int nMs = static_cast<unsigned int>(timeout.count());
    if (setsockopt(nFd, IPPROTO_TCP, TCP_USER_TIMEOUT, &nMs, sizeof nMs) == 0 &&
        KernelEndsConnectAtUserTimeout())
        return;
    const int nSynRetries = 4;
    setsockopt(nFd, IPPROTO_TCP, TCP_SYNCNT, &nSynRetries, sizeof nSynRetries);
}

STcpAttempt StartTcpConnect(const SIpAddress& target, uint16_t nPort,
                            std::chrono::milliseconds timeout) {
    STcpAttempt attempt;
    attempt.nPort = nPort;
    attempt.fd = OpenSocket(target.IsIpv6(), timeout);
    if (!attempt.fd.IsOpen()) {
        attempt.bNoResources = IsOutOfResources(errno);
        return attempt;
    }
    sockaddr_storage peer{};
    const socklen_t nLength = ToSocketAddress(target, nPort, peer);
    if (connect(attempt.fd.Get(), reinterpret_cast<sockaddr*>(&peer), nLength) == 0) {
        attempt.nResult = IsConnectedToItself(attempt.fd.Get(), nPort) ? 0 : 1;
        attempt.fd.Close();
    } else if (errno != EINPROGRESS && errno != EINTR) {
        // Interrupted, the attempt goes on in the background like one in progress.
        attempt.fd.Close();
    }
    return attempt;
}

int32_t FinishTcpConnect(STcpAttempt& attempt) {
    int nFd = attempt.fd.Get();
    attempt.nResult = TakeSocketError(nFd) == 0 && !IsConnectedToItself(nFd, attempt.nPort) ? 1 : 0;
    attempt.fd.Close();
    return attempt.nResult;
}

int32_t ProbeTcp(const SIpAddress& target, uint16_t nPort) {
    STcpAttempt attempt = StartTcpConnect(target, nPort);
    if (!attempt.IsPending())
        return attempt.nResult;
    pollfd pfd{attempt.fd.Get(), POLLOUT, 0};
    while (poll(&pfd, 1, -1) < 0)
        if (errno != EINTR)
            break;
    return FinishTcpConnect(attempt);
}
