#include "check/icmp_probe.h"

#include "check/file_descriptor.h"
#include "check/icmp_packet.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTimeout{10000};

enum class IcmpSocketKind { kDatagram, kRaw };

struct SIcmpSocket {
    CFileDescriptor fd;
    IcmpSocketKind kind = IcmpSocketKind::kDatagram;
};

// The datagram socket reports ICMP errors about its requests only with
// IP_RECVERR, through its error queue.
CFileDescriptor OpenDatagramSocket() {
    CFileDescriptor fd(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    int nOn = 1;
    if (fd.IsOpen() && setsockopt(fd.Get(), SOL_IP, IP_RECVERR, &nOn, sizeof nOn) != 0)
        fd.Close();
    return fd;
}

// A raw socket receives every ICMP packet of the host; the kernel's filter
// keeps back all but the types that can answer an echo request. What came in
// before the filter was set is thrown away: none of it can be ours, since the
// request is not sent yet, and a queue filled with it would leave no room for
// the reply.
CFileDescriptor OpenRawSocket() {
    CFileDescriptor fd(socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP));
    icmp_filter filter{};
    filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) |
                    (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
    if (!fd.IsOpen())
        return fd;
    setsockopt(fd.Get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    uint8_t byte;
    while (recv(fd.Get(), &byte, sizeof byte, 0) >= 0 || errno == EINTR) {
    }
    return fd;
}

SIcmpSocket OpenIcmpSocket() {
    SIcmpSocket sock{OpenDatagramSocket(), IcmpSocketKind::kDatagram};
    if (!sock.fd.IsOpen())
        sock = {OpenRawSocket(), IcmpSocketKind::kRaw};
    return sock;
}

// Identifier and sequence of a new probe. The counter keeps the identifiers
// of a process's probes distinct (a datagram socket's identifier is the
// kernel's choice); the process and thread ids spread them apart from other
// processes' probes.
SEchoKey NewEchoKey(in_addr target) {
    static std::atomic<uint32_t> nCounter{0};
    static const uint32_t nProcessBase = static_cast<uint32_t>(getpid()) * 40503u;
    uint32_t n = nCounter.fetch_add(1, std::memory_order_relaxed);
    auto nThread = static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
    return {target, static_cast<uint16_t>(nProcessBase + n),
            static_cast<uint16_t>((n >> 16) ^ nThread ^ (nThread >> 16))};
}

bool SendRequest(const SIcmpSocket& sock, SEchoKey& key) {
    auto packet = BuildEchoRequest(key);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = key.target;
    ssize_t nSent;
    do
        nSent = sendto(sock.fd.Get(), packet.data(), packet.size(), 0,
                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
    while (nSent < 0 && errno == EINTR);
    if (nSent != static_cast<ssize_t>(packet.size()))
        return false;
    // On a datagram socket the kernel has put the socket's own identifier in
    // the request, and it hands the socket only replies that carry it.
    key.bMatchIdent = sock.kind == IcmpSocketKind::kRaw;
    return true;
}

// Reads what is waiting; the first verdict other than kUnrelated wins.
EchoVerdict ReadPackets(const SIcmpSocket& sock, const SEchoKey& key) {
    uint8_t buffer[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t nLength = sizeof from;
        ssize_t n = recvfrom(sock.fd.Get(), buffer, sizeof buffer, 0,
                             reinterpret_cast<sockaddr*>(&from), &nLength);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return EchoVerdict::kUnrelated;
        auto nSize = static_cast<size_t>(n);
        EchoVerdict verdict = sock.kind == IcmpSocketKind::kRaw
                                  ? ClassifyIpPacket(buffer, nSize, key)
                                  : ClassifyIcmpMessage(buffer, nSize, from.sin_addr, key);
        if (verdict != EchoVerdict::kUnrelated)
            return verdict;
    }
}

// A datagram socket's error queue holds only reports about its own request.
// Takes one: true when it ends the probe (an unreachable, time exceeded or
// parameter problem message, or a local error); a redirect or source quench
// does not. An error that cannot be read ends the probe too.
bool TakeQueuedError(const SIcmpSocket& sock) {
    uint8_t data[576];
    uint8_t control[512];
    iovec iov{data, sizeof data};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (recvmsg(sock.fd.Get(), &msg, MSG_ERRQUEUE) < 0)
        return errno != EINTR;
    for (cmsghdr* pCmsg = CMSG_FIRSTHDR(&msg); pCmsg; pCmsg = CMSG_NXTHDR(&msg, pCmsg)) {
        if (pCmsg->cmsg_level != SOL_IP || pCmsg->cmsg_type != IP_RECVERR)
            continue;
        sock_extended_err error;
        std::memcpy(&error, CMSG_DATA(pCmsg), sizeof error);
        if (error.ee_origin != SO_EE_ORIGIN_ICMP)
            return true;
        return error.ee_type == ICMP_DEST_UNREACH || error.ee_type == ICMP_TIME_EXCEEDED ||
               error.ee_type == ICMP_PARAMETERPROB;
    }
    return false;
}

int WaitMilliseconds(Clock::time_point deadline) {
    auto remaining = deadline - Clock::now();
    if (remaining <= Clock::duration::zero())
        return 0;
    // Rounded up, so the last wait does not end just short of the deadline.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(remaining).count());
}

int32_t AwaitReply(const SIcmpSocket& sock, const SEchoKey& key, Clock::time_point deadline) {
    for (int nWait; (nWait = WaitMilliseconds(deadline)) > 0;) {
        pollfd pfd{sock.fd.Get(), POLLIN, 0};
        int nReady = poll(&pfd, 1, nWait);
        if (nReady < 0 && errno != EINTR)
            return 0;
        if (nReady <= 0)
            continue;
        // A raw socket gets errors as ordinary packets; an error state on it
        // is about the socket itself.
        if ((pfd.revents & POLLERR) && (sock.kind == IcmpSocketKind::kRaw || TakeQueuedError(sock)))
            return 0;
        if (pfd.revents & POLLIN) {
            EchoVerdict verdict = ReadPackets(sock, key);
            if (verdict != EchoVerdict::kUnrelated)
                return verdict == EchoVerdict::kReply ? 1 : 0;
        }
    }
    return 0;
}
} // namespace

int32_t ProbeIcmp(in_addr target) {
    Clock::time_point deadline = Clock::now() + kTimeout;
    SIcmpSocket sock = OpenIcmpSocket();
    if (!sock.fd.IsOpen())
        return 0;
    SEchoKey key = NewEchoKey(target);
    if (!SendRequest(sock, key))
        return 0;
    return AwaitReply(sock, key, deadline);
}
