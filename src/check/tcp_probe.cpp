// SPDX-License-Identifier: Apache-2.0
#include "check/tcp_probe.h"

#include "check/file_descriptor.h"

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace {
// The port is left to connect to choose: bound alone, it would have to be
// free for every destination, and once many connections of earlier passes
// sit in TIME_WAIT the search for one costs more than the connect itself.
CFileDescriptor OpenBoundSocket(bool bIpv6, std::chrono::milliseconds timeout) {
    CFileDescriptor fd(
        socket(bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    int nOn = 1;
    if (fd.IsOpen()) {
        setsockopt(fd.Get(), SOL_IP, IP_BIND_ADDRESS_NO_PORT, &nOn, sizeof nOn);
        SetConnectTimeout(fd.Get(), timeout);
    }
    sockaddr_storage local{};
    const socklen_t nLength =
        ToSocketAddress(bIpv6 ? SIpAddress(in6addr_any) : SIpAddress(), 0, local);
    if (fd.IsOpen() && bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), nLength) != 0)
        fd.Close();
    return fd;
}

bool IsConnectedToItself(int nFd) {
    sockaddr_storage local{}, peer{};
    socklen_t nLocal = sizeof local, nPeer = sizeof peer;
    if (getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &nLocal) != 0 ||
        getpeername(nFd, reinterpret_cast<sockaddr*>(&peer), &nPeer) != 0)
        return true; // not known to be a real connection
    // Both families keep the port at the same place.
    return FromSocketAddress(local).SameHost(FromSocketAddress(peer)) &&
           reinterpret_cast<const sockaddr_in&>(local).sin_port ==
               reinterpret_cast<const sockaddr_in&>(peer).sin_port;
}

// The stack's error code once the attempt has ended, 0 for success.
int ConnectOutcome(int nFd) {
    return TakeSocketError(nFd);
}
} // namespace

// The stack still decides when the attempt has failed, by its own
// retransmissions; only their limit changes. TCP_SYNCNT bounds them where the
// user timeout does not cover an unanswered SYN: 4 retries end after 31 s with
// the classic backoff, never before the user timeout.
void SetConnectTimeout(int nFd, std::chrono::milliseconds timeout) {
    const unsigned int nMs = static_cast<unsigned int>(timeout.count());
    setsockopt(nFd, IPPROTO_TCP, TCP_USER_TIMEOUT, &nMs, sizeof nMs);
    const int nSynRetries = 4;
    setsockopt(nFd, IPPROTO_TCP, TCP_SYNCNT, &nSynRetries, sizeof nSynRetries);
}

STcpAttempt StartTcpConnect(const SIpAddress& target, uint16_t nPort,
                            std::chrono::milliseconds timeout) {
    STcpAttempt attempt;
    attempt.fd = OpenBoundSocket(target.IsIpv6(), timeout);
    if (!attempt.fd.IsOpen()) {
        attempt.bNoResources = IsOutOfResources(errno);
        return attempt;
    }
    sockaddr_storage peer{};
    const socklen_t nLength = ToSocketAddress(target, nPort, peer);
    if (connect(attempt.fd.Get(), reinterpret_cast<sockaddr*>(&peer), nLength) == 0) {
        attempt.nResult = IsConnectedToItself(attempt.fd.Get()) ? 0 : 1;
        attempt.fd.Close();
    } else if (errno != EINPROGRESS && errno != EINTR) {
        // Interrupted, the attempt goes on in the background like one in progress.
        attempt.fd.Close();
    }
    return attempt;
}

int32_t FinishTcpConnect(STcpAttempt& attempt) {
    int nFd = attempt.fd.Get();
    attempt.nResult = ConnectOutcome(nFd) == 0 && !IsConnectedToItself(nFd) ? 1 : 0;
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
