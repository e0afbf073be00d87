// SPDX-License-Identifier: Apache-2.0
// The TCP targets of the concurrent check benchmarks: N listening and N
// refusing ports on 127.0.0.1, and a thread that accepts and closes every
// connection as it comes, so the listen queues never fill and no connect
// stalls behind them.
//   tcp_targets N
// Prints the ports on one line, listening and refusing alternately, then
// serves until SIGTERM or SIGINT and prints how many connections it took.
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
constexpr int kBacklog = 65535; // the kernel caps it at net.core.somaxconn

volatile sig_atomic_t g_bStop = 0;

void OnSignal(int) {
    g_bStop = 1;
}

// A socket bound to 127.0.0.1 on a port the kernel picks, listening when
// `bListen`; its port, or -1.
int OpenPort(bool bListen, std::vector<int>& fds) {
    int nFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof address;
    if (nFd < 0 || bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nLength) != 0 ||
        (bListen && listen(nFd, kBacklog) != 0))
        return -1;
    fds.push_back(nFd);
    return ntohs(address.sin_port);
}

// Accepts and closes what waits on the listening socket `nFd`.
long long AcceptAll(int nFd) {
    long long nTaken = 0;
    int nConnection;
    while ((nConnection = accept4(nFd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0 || errno == EINTR)
        if (nConnection >= 0) {
            close(nConnection);
            ++nTaken;
        }
    return nTaken;
}
} // namespace

int main(int argc, char** argv) {
    const int nEach = argc == 2 ? std::atoi(argv[1]) : 0;
    if (nEach <= 0) {
        std::fputs("usage: tcp_targets N\n", stderr);
        return 2;
    }
    std::vector<int> listening, refusing;
    const int nEpoll = epoll_create1(EPOLL_CLOEXEC);
    for (int i = 0; i < nEach; ++i) {
        int nListening = OpenPort(true, listening);
        int nRefusing = OpenPort(false, refusing);
        epoll_event event{EPOLLIN, {}};
        event.data.fd = listening.empty() ? -1 : listening.back();
        if (nListening < 0 || nRefusing < 0 ||
            epoll_ctl(nEpoll, EPOLL_CTL_ADD, event.data.fd, &event) != 0) {
            std::perror("tcp_targets: cannot open the ports");
            return 1;
        }
        std::printf("%s%d %d", i ? " " : "", nListening, nRefusing);
    }
    std::printf("\n");
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    long long nTaken = 0;
    epoll_event events[64];
    while (!g_bStop) {
        int n = epoll_wait(nEpoll, events, 64, 1000);
        for (int i = 0; i < n; ++i)
            nTaken += AcceptAll(events[i].data.fd);
    }
    std::fprintf(stderr, "tcp_targets: %lld connections accepted\n", nTaken);
    return 0;
}
