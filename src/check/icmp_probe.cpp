// SPDX-License-Identifier: Apache-2.0
#include "check/icmp_probe.h"

#include "check/icmp_socket.h"
#include "check/wait_time.h"

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace {
using Clock = IcmpClock;
// Packets read at one wake-up at most; the clock is looked at before each, so
// that a steady flood of other traffic cannot hold a probe past its deadline.
constexpr int kPacketsPerWake = 64;
// Random identifiers tried on a datagram socket before the kernel picks one.
constexpr int kBindTries = 16;

// Raised when the kernel refuses this process an ICMP datagram socket of a
// family (IPv4, IPv6), lowered when it gives one.
std::atomic<bool> g_bDatagramRefused[2] = {false, false};

std::atomic<bool>& DatagramRefused(bool bIpv6) {
    return g_bDatagramRefused[bIpv6 ? 1 : 0];
}

int Family(bool bIpv6) {
    return bIpv6 ? AF_INET6 : AF_INET;
}

int IcmpProtocol(bool bIpv6) {
    return bIpv6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
}

// Asks for the errors about the socket's requests (IP_RECVERR, IPV6_RECVERR).
bool ReceiveErrors(int nFd, bool bIpv6) {
    int nOn = 1;
    return bIpv6 ? setsockopt(nFd, SOL_IPV6, IPV6_RECVERR, &nOn, sizeof nOn) == 0
                 : setsockopt(nFd, SOL_IP, IP_RECVERR, &nOn, sizeof nOn) == 0;
}

// The kernel's answers to a datagram socket that this process may not have
// (its groups outside ping_group_range, or no such socket in the kernel), as
// opposed to a shortage of descriptors or memory that may pass.
bool IsRefusal(int nErrno) {
    return nErrno == EACCES || nErrno == EPERM || nErrno == EPROTONOSUPPORT ||
           nErrno == ESOCKTNOSUPPORT || nErrno == EAFNOSUPPORT;
}
} // namespace

// Drawn from the kernel a pool at a time, so that a probe does not cost a
// system call for its key.
uint32_t RandomBits() {
    thread_local std::array<uint32_t, 64> pool;
    thread_local size_t nLeft = 0;
    if (nLeft == 0) {
        ssize_t nGot;
        do
            nGot = getrandom(pool.data(), sizeof pool, GRND_NONBLOCK);
        while (nGot < 0 && errno == EINTR);
        if (nGot != static_cast<ssize_t>(sizeof pool)) {
            thread_local std::random_device device;
            return device();
        }
        nLeft = pool.size();
    }
    return pool[--nLeft];
}

namespace {
bool IsBefore(Clock::time_point deadline) {
    return Clock::now() < deadline;
}

// Binds to the wildcard address of the socket's family.
int BindPort(int nFd, bool bIpv6, uint16_t nPort) {
    sockaddr_storage address{};
    socklen_t nLength =
        ToSocketAddress(bIpv6 ? SIpAddress(in6addr_any) : SIpAddress(), nPort, address);
    return bind(nFd, reinterpret_cast<const sockaddr*>(&address), nLength);
}

// A datagram socket's identifier is the port it is bound to. A random one,
// rather than the kernel's next in turn, keeps whoever saw one probe's
// request from naming the next. When the draws keep meeting identifiers in
// use (a host full of ping sockets) the kernel picks one; the sequence is
// still random. `nFirst` is the first draw, made already. The identifier
// bound, or -1 when the socket cannot be bound.
int BindIdentifier(int nFd, bool bIpv6, uint16_t nFirst) {
    for (int nTry = 0; nTry < kBindTries; ++nTry) {
        uint16_t nIdent = nTry == 0 ? nFirst : static_cast<uint16_t>(RandomBits());
        if (nIdent == 0) // would ask the kernel to pick
            continue;
        if (BindPort(nFd, bIpv6, nIdent) == 0)
            return nIdent;
        if (errno != EADDRINUSE)
            return -1;
    }
    sockaddr_storage address{};
    socklen_t nLength = sizeof address;
    if (BindPort(nFd, bIpv6, 0) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
        return -1;
    // Both families keep the port at the same place.
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

// The datagram socket reports ICMP errors about its requests only with
// IP_RECVERR (IPV6_RECVERR), through its error queue. It comes with SO_REUSEADDR set, which
// lets two sockets share an identifier (one then takes the other's replies);
// cleared, binding to an identifier in use fails. `nIdent` comes in as a
// random draw and goes out as the identifier bound.
CFileDescriptor OpenDatagramSocket(bool bIpv6, uint16_t& nIdent) {
    CFileDescriptor fd(
        socket(Family(bIpv6), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IcmpProtocol(bIpv6)));
    if (fd.IsOpen() || IsRefusal(errno))
        DatagramRefused(bIpv6).store(!fd.IsOpen(), std::memory_order_relaxed);
    int nOff = 0;
    if (fd.IsOpen() && (!ReceiveErrors(fd.Get(), bIpv6) ||
                        setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &nOff, sizeof nOff) != 0))
        fd.Close();
    int nBound = fd.IsOpen() ? BindIdentifier(fd.Get(), bIpv6, nIdent) : -1;
    if (nBound < 0)
        fd.Close();
    else
        nIdent = static_cast<uint16_t>(nBound);
    return fd;
}

} // namespace

// A raw socket receives every ICMP packet of the host; the kernel's filter
// keeps back all but the types that can answer an echo request. What came in
// before the filter was set is thrown away: none of it can be ours, since the
// request is not sent yet, and a queue filled with it would leave no room for
// the reply. Only the first few packets are taken: those are the ones from
// before the filter, and a flood of answer types would never let a drain end.
CFileDescriptor OpenRawSocket(bool bIpv6, Clock::time_point deadline) {
    CFileDescriptor fd(
        socket(Family(bIpv6), SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IcmpProtocol(bIpv6)));
    if (!fd.IsOpen())
        return fd;
    if (bIpv6) {
        icmp6_filter filter;
        ICMP6_FILTER_SETBLOCKALL(&filter);
        for (int nType : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG,
                          ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB})
            ICMP6_FILTER_SETPASS(nType, &filter);
        setsockopt(fd.Get(), IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    } else {
        icmp_filter filter{};
        filter.data = ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) |
                        (1u << ICMP_TIME_EXCEEDED) | (1u << ICMP_PARAMETERPROB));
        setsockopt(fd.Get(), SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
    uint8_t byte;
    for (int nTaken = 0; nTaken < kPacketsPerWake && IsBefore(deadline); ++nTaken)
        if (recv(fd.Get(), &byte, sizeof byte, 0) < 0 && errno != EINTR)
            break;
    return fd;
}

// A raw socket sends the identifier we give.
SIcmpSocket OpenIcmpSocket(SEchoKey& key, Clock::time_point deadline) {
    uint32_t nBits = RandomBits();
    key.nIdent = static_cast<uint16_t>(nBits);
    key.nSequence = static_cast<uint16_t>(nBits >> 16);
    const bool bIpv6 = key.target.IsIpv6();
    SIcmpSocket sock;
    const bool bRefused = DatagramRefused(bIpv6).load(std::memory_order_relaxed);
    if (!bRefused)
        sock = {OpenDatagramSocket(bIpv6, key.nIdent), IcmpSocketKind::kDatagram, bIpv6};
    if (!sock.fd.IsOpen())
        sock = {OpenRawSocket(bIpv6, deadline), IcmpSocketKind::kRaw, bIpv6};
    // Without the raw socket after all (privileges dropped since), the
    // datagram socket gets one more chance.
    if (!sock.fd.IsOpen() && bRefused)
        sock = {OpenDatagramSocket(bIpv6, key.nIdent), IcmpSocketKind::kDatagram, bIpv6};
    return sock;
}

bool SendEchoRequest(int nFd, const SEchoKey& key) {
    auto packet = BuildEchoRequest(key);
    sockaddr_storage to{};
    const socklen_t nLength = ToSocketAddress(key.target, 0, to);
    ssize_t nSent;
    do
        nSent = sendto(nFd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                       nLength);
    while (nSent < 0 && errno == EINTR);
    return nSent == static_cast<ssize_t>(packet.size());
}

EchoVerdict ClassifyReceived(bool bIpHeader, const uint8_t* pData, size_t nSize,
                             const sockaddr_storage& from, const SEchoKey& key) {
    return bIpHeader ? ClassifyIpPacket(pData, nSize, key)
                     : ClassifyIcmpMessage(pData, nSize, FromSocketAddress(from), key);
}

std::optional<SEchoKey> EchoKeyOfReceived(bool bIpHeader, const uint8_t* pData, size_t nSize,
                                          const sockaddr_storage& from) {
    return bIpHeader ? EchoKeyOfIpPacket(pData, nSize)
                     : EchoKeyOfIcmpMessage(pData, nSize, FromSocketAddress(from));
}

namespace {

// Reads what is waiting, a bounded number of packets; the first verdict other
// than kUnrelated wins.
EchoVerdict ReadPackets(const SIcmpSocket& sock, const SEchoKey& key, Clock::time_point deadline) {
    uint8_t buffer[2048];
    for (int nTaken = 0; nTaken < kPacketsPerWake && IsBefore(deadline); ++nTaken) {
        sockaddr_storage from{};
        socklen_t nLength = sizeof from;
        ssize_t n = recvfrom(sock.fd.Get(), buffer, sizeof buffer, 0,
                             reinterpret_cast<sockaddr*>(&from), &nLength);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        auto nSize = static_cast<size_t>(n);
        EchoVerdict verdict = ClassifyReceived(sock.DeliversIpHeader(), buffer, nSize, from, key);
        if (verdict != EchoVerdict::kUnrelated)
            return verdict;
    }
    return EchoVerdict::kUnrelated;
}

} // namespace

// Judges one report read from the error queue. The kernel queues there every
// ICMP error that quotes the socket's identifier, so an error counts only when
// the request it quotes (its sequence and destination) is ours, as ping does.
// A local error (one raised while sending) is always ours.
EchoVerdict JudgeQueuedError(msghdr& msg, const SIpAddress& quotedTarget, const uint8_t* pQuote,
                             size_t nSize, const SEchoKey& key) {
    const bool bIpv6 = key.target.IsIpv6();
    for (cmsghdr* pCmsg = CMSG_FIRSTHDR(&msg); pCmsg; pCmsg = CMSG_NXTHDR(&msg, pCmsg)) {
        const bool bReport = bIpv6
                                 ? pCmsg->cmsg_level == SOL_IPV6 && pCmsg->cmsg_type == IPV6_RECVERR
                                 : pCmsg->cmsg_level == SOL_IP && pCmsg->cmsg_type == IP_RECVERR;
        if (!bReport)
            continue;
        sock_extended_err error;
        std::memcpy(&error, CMSG_DATA(pCmsg), sizeof error);
        if (error.ee_origin == SO_EE_ORIGIN_LOCAL)
            return EchoVerdict::kError;
        if (error.ee_origin != (bIpv6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP))
            return EchoVerdict::kUnrelated;
        return ClassifyQueuedError(error.ee_type, quotedTarget, pQuote, nSize, key);
    }
    return EchoVerdict::kUnrelated;
}

namespace {

// Takes a bounded number of reports from a datagram socket's error queue; the
// first about our request wins. Each report is the quoted ICMP message, with
// the quoted destination as its address. Once the queue is empty the pending
// socket error is cleared, so that an error dropped for want of room in the
// queue does not keep waking the probe. An error queue that cannot be read
// ends the probe.
EchoVerdict ReadQueuedErrors(const SIcmpSocket& sock, const SEchoKey& key,
                             Clock::time_point deadline) {
    for (int nTaken = 0; nTaken < kPacketsPerWake && IsBefore(deadline); ++nTaken) {
        uint8_t quote[576];
        alignas(cmsghdr) uint8_t control[512];
        sockaddr_storage quotedTarget{};
        iovec iov{quote, sizeof quote};
        msghdr msg{};
        msg.msg_name = &quotedTarget;
        msg.msg_namelen = sizeof quotedTarget;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = recvmsg(sock.fd.Get(), &msg, MSG_ERRQUEUE);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            TakeSocketError(sock.fd.Get());
            return EchoVerdict::kUnrelated;
        }
        if (n < 0)
            return EchoVerdict::kError;
        EchoVerdict verdict = JudgeQueuedError(msg, FromSocketAddress(quotedTarget), quote,
                                               static_cast<size_t>(n), key);
        if (verdict != EchoVerdict::kUnrelated)
            return verdict;
    }
    return EchoVerdict::kUnrelated;
}

} // namespace

// A raw socket gets errors as ordinary packets; an error state on it is about
// the socket itself.
EchoVerdict ReadWaiting(const SIcmpSocket& sock, const SEchoKey& key, uint32_t nEvents,
                        Clock::time_point deadline) {
    if (nEvents & POLLERR) {
        EchoVerdict verdict = sock.kind == IcmpSocketKind::kRaw
                                  ? EchoVerdict::kError
                                  : ReadQueuedErrors(sock, key, deadline);
        if (verdict != EchoVerdict::kUnrelated)
            return verdict;
    }
    return nEvents & POLLIN ? ReadPackets(sock, key, deadline) : EchoVerdict::kUnrelated;
}

namespace {

// A reply from this host is often in before the request's send returns, so
// what is there is read once before the first wait.
int32_t AwaitReply(const SIcmpSocket& sock, const SEchoKey& key, Clock::time_point deadline) {
    EchoVerdict early = ReadWaiting(sock, key, POLLIN, deadline);
    if (early != EchoVerdict::kUnrelated)
        return early == EchoVerdict::kReply ? 1 : 0;
    for (int nWait; (nWait = MillisecondsUntil(deadline)) > 0;) {
        pollfd pfd{sock.fd.Get(), POLLIN, 0};
        int nReady = poll(&pfd, 1, nWait);
        if (nReady < 0 && errno != EINTR)
            return 0;
        if (nReady <= 0)
            continue;
        EchoVerdict verdict = ReadWaiting(sock, key, static_cast<uint16_t>(pfd.revents), deadline);
        if (verdict != EchoVerdict::kUnrelated)
            return verdict == EchoVerdict::kReply ? 1 : 0;
    }
    return 0;
}
} // namespace

int32_t ProbeIcmp(const SIpAddress& target) {
    Clock::time_point deadline = Clock::now() + kEchoTimeout;
    SEchoKey key{target, 0, 0};
    SIcmpSocket sock = OpenIcmpSocket(key, deadline);
    if (!sock.fd.IsOpen() || !SendEchoRequest(sock.fd.Get(), key))
        return 0;
    return AwaitReply(sock, key, deadline);
}
