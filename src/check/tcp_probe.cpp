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
CFileDescriptor OpenBoundSocket(std::chrono::milliseconds timeout) {
    CFileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    int nOn = 1;
    if (fd.IsOpen()) {
        setsockopt(fd.Get(), SOL_IP, IP_BIND_ADDRESS_NO_PORT, &nOn, sizeof nOn);
        SetConnectTimeout(fd.Get(), timeout);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (fd.IsOpen() && bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        fd.Close();
    return fd;
}

bool IsConnectedToItself(int nFd) {
    sockaddr_in local{}, peer{};
    socklen_t nLocal = sizeof local, nPeer = sizeof peer;
    if (getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &nLocal) != 0 ||
        getpeername(nFd, reinterpret_cast<sockaddr*>(&peer), &nPeer) != 0)
        return true; // not known to be a real connection
    return local.sin_addr.s_addr == peer.sin_addr.s_addr && local.sin_port == peer.sin_port;
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

STcpAttempt StartTcpConnect(in_addr target, uint16_t nPort, std::chrono::milliseconds timeout) {
    STcpAttempt attempt;
    attempt.fd = OpenBoundSocket(timeout);
    if (!attempt.fd.IsOpen()) {
        attempt.bNoResources = IsOutOfResources(errno);
        return attempt;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = target;
    peer.sin_port = htons(nPort);
    if (connect(attempt.fd.Get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) {
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

int32_t ProbeTcp(in_addr target, uint16_t nPort) {
    STcpAttempt attempt = StartTcpConnect(target, nPort);
    if (!attempt.IsPending())
        return attempt.nResult;
    pollfd pfd{attempt.fd.Get(), POLLOUT, 0};
    while (poll(&pfd, 1, -1) < 0)
        if (errno != EINTR)
            break;
    return FinishTcpConnect(attempt);
}
