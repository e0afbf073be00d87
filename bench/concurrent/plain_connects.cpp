// SPDX-License-Identifier: Apache-2.0
// The limit for the TCP benchmark: the same connects as a check pass over a
// list of loopback targets, by a plain loop with nothing else to do.
//   plain_connects [--bind-no-port] THREADS JOBS COUNT PORT...
// Makes COUNT connections to 127.0.0.1, taking the ports in turn, on THREADS
// threads, each keeping JOBS / THREADS non-blocking connects in flight on an
// epoll set of its own. Each connect makes the probe's system calls: socket,
// bind to any port, connect, then the outcome (SO_ERROR) and, when
// connected, both socket addresses, then close. Prints the wall time and how
// many connected. With --bind-no-port, the socket sets IP_BIND_ADDRESS_NO_PORT
// before binding, so its port is chosen at connect, where the kernel may
// reuse one that is held by a connection to another destination (TIME_WAIT
// ones among them); bound without it, the port must be free of every socket.
#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {
std::vector<uint16_t> g_ports;
bool g_bBindNoPort = false;
std::atomic<long> g_nNext{0}, g_nConnected{0};
long g_nCount = 0;

void Finish(int nFd);

enum class EStart { kNoneLeft, kEnded, kInFlight };

// Starts the next connect on `nEpoll`.
EStart StartNext(int nEpoll) {
    const long n = g_nNext++;
    if (n >= g_nCount)
        return EStart::kNoneLeft;
    int nFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    if (g_bBindNoPort)
        setsockopt(nFd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &nOn, sizeof nOn);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(g_ports[static_cast<size_t>(n) % g_ports.size()]);
    if (connect(nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
        errno != EINPROGRESS) {
        Finish(nFd);
        return EStart::kEnded;
    }
    epoll_event event{EPOLLOUT, {}};
    event.data.fd = nFd;
    epoll_ctl(nEpoll, EPOLL_CTL_ADD, nFd, &event);
    return EStart::kInFlight;
}

void Finish(int nFd) {
    int nError = 0;
    socklen_t nLength = sizeof nError;
    getsockopt(nFd, SOL_SOCKET, SO_ERROR, &nError, &nLength);
    if (nError == 0) {
        sockaddr_in local{}, peer{};
        socklen_t nLocal = sizeof local, nPeer = sizeof peer;
        getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &nLocal);
        getpeername(nFd, reinterpret_cast<sockaddr*>(&peer), &nPeer);
        ++g_nConnected;
    }
    close(nFd);
}

void Run(int nJobs) {
    const int nEpoll = epoll_create1(EPOLL_CLOEXEC);
    int nInFlight = 0;
    bool bMore = true;
    epoll_event events[256];
    while (bMore || nInFlight > 0) {
        while (bMore && nInFlight < nJobs) {
            const EStart started = StartNext(nEpoll);
            bMore = started != EStart::kNoneLeft;
            nInFlight += started == EStart::kInFlight;
        }
        if (nInFlight == 0)
            continue;
        const int n = epoll_wait(nEpoll, events, 256, -1);
        for (int i = 0; i < n; ++i, --nInFlight)
            Finish(events[i].data.fd);
    }
    close(nEpoll);
}
} // namespace

int main(int argc, char** argv) {
    g_bBindNoPort = argc > 1 && std::string(argv[1]) == "--bind-no-port";
    if (g_bBindNoPort) {
        --argc;
        ++argv;
    }
    if (argc < 5) {
        std::fputs("usage: plain_connects [--bind-no-port] THREADS JOBS COUNT PORT...\n", stderr);
        return 2;
    }
    const int nThreads = std::max(1, std::atoi(argv[1]));
    const int nJobs = std::max(1, std::atoi(argv[2]) / nThreads);
    g_nCount = std::atol(argv[3]);
    for (int i = 4; i < argc; ++i)
        g_ports.push_back(static_cast<uint16_t>(std::atoi(argv[i])));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < nThreads; ++i)
        threads.emplace_back(Run, nJobs);
    for (std::thread& thread : threads)
        thread.join();
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d threads, %d in flight each%s: %ld connects in %.3f s, %ld connected\n",
                nThreads, nJobs, g_bBindNoPort ? ", IP_BIND_ADDRESS_NO_PORT" : "", g_nCount, dWall,
                g_nConnected.load());
    return 0;
}
