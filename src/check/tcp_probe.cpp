#include "check/tcp_probe.h"

#include "check/file_descriptor.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace {
CFileDescriptor OpenBoundSocket() {
    CFileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (fd.IsOpen() && bind(fd.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        fd.Close();
    return fd;
}

// Sleeps until the attempt has ended; the stack's error code, 0 for success.
int AwaitConnectOutcome(int nFd) {
    pollfd pfd{nFd, POLLOUT, 0};
    while (poll(&pfd, 1, -1) < 0)
        if (errno != EINTR)
            return errno;
    int nError = 0;
    socklen_t nLength = sizeof nError;
    if (getsockopt(nFd, SOL_SOCKET, SO_ERROR, &nError, &nLength) != 0)
        return errno;
    return nError;
}

bool IsConnectedToItself(int nFd) {
    sockaddr_in local{}, peer{};
    socklen_t nLocal = sizeof local, nPeer = sizeof peer;
    if (getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &nLocal) != 0 ||
        getpeername(nFd, reinterpret_cast<sockaddr*>(&peer), &nPeer) != 0)
        return true; // not known to be a real connection
    return local.sin_addr.s_addr == peer.sin_addr.s_addr && local.sin_port == peer.sin_port;
}
} // namespace

int32_t ProbeTcp(in_addr target, uint16_t nPort) {
    CFileDescriptor fd = OpenBoundSocket();
    if (!fd.IsOpen())
        return 0;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = target;
    peer.sin_port = htons(nPort);
    int nError = 0;
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        // Interrupted, the attempt goes on in the background like one in progress.
        if (errno != EINPROGRESS && errno != EINTR)
            return 0;
        nError = AwaitConnectOutcome(fd.Get());
    }
    return nError == 0 && !IsConnectedToItself(fd.Get()) ? 1 : 0;
}
