// SPDX-License-Identifier: Apache-2.0
// The distant hosts of the ICMP benchmark: reads every echo request of the
// network namespace, IPv4 and IPv6, on raw sockets and, DELAY_MS later, sends
// the true echo reply (same identifier, sequence and data, checksum made anew)
// from the address the request was sent to. The kernel's own replies must be
// off (net.ipv4.icmp_echo_ignore_all=1, net.ipv6.icmp.echo_ignore_all=1) and
// the target addresses local to the namespace, so that the requests loop back
// to this program.
//   echo_responder DELAY_MS [GAP_US]
// With GAP_US, replies leave at most one per GAP_US microseconds, as from a
// link of that rate: a burst of a thousand replies at once overflows the
// receive buffer of a single raw socket (fping's) before it can read them.
// Runs until SIGTERM or SIGINT, then prints how many requests it saw and how
// many replies it sent. Use only inside a network namespace of the
// benchmark's own.
#include "check/icmp_packet.h"

#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kBufferBytes = 16 << 20; // room for every request of a burst
constexpr unsigned kBatch = 64;
// Replies a late wake-up may send at once to catch up with the schedule.
constexpr int kBurstGaps = 16;

volatile sig_atomic_t g_bStop = 0;

void OnSignal(int) {
    g_bStop = 1;
}

struct SReply {
    Clock::time_point due;
    std::vector<uint8_t> packet; // IPv4: IP header and ICMP message; IPv6: ICMPv6 message
    sockaddr_in to;
    sockaddr_in6 to6;  // IPv6: the prober
    in6_pktinfo from6; // IPv6: the address the request went to
    bool bIpv6 = false;
};

// The reply to an IPv4 packet holding an echo request: the addresses
// swapped, the type turned into echo reply. False for anything else.
bool MakeReply(const uint8_t* p, size_t n, const msghdr&, SReply& reply) {
    size_t nHeader = n ? static_cast<size_t>(p[0] & 0x0f) * 4 : 0;
    if (nHeader < 20 || n < nHeader + 8 || p[9] != IPPROTO_ICMP || p[nHeader] != ICMP_ECHO)
        return false;
    const size_t nIcmp = n - nHeader;
    std::vector<uint8_t>& out = reply.packet;
    out.assign(20 + nIcmp, 0);
    out[0] = 0x45;
    out[6] = 0x40; // don't fragment
    out[8] = 64;
    out[9] = IPPROTO_ICMP;
    std::memcpy(&out[12], p + 16, 4); // from the target
    std::memcpy(&out[16], p + 12, 4); // to the prober
    uint8_t* pIcmp = out.data() + 20;
    std::memcpy(pIcmp, p + nHeader, nIcmp);
    pIcmp[0] = ICMP_ECHOREPLY;
    pIcmp[2] = pIcmp[3] = 0;
    const uint16_t nSum = InternetChecksum(pIcmp, nIcmp);
    pIcmp[2] = static_cast<uint8_t>(nSum >> 8);
    pIcmp[3] = static_cast<uint8_t>(nSum);
    reply.to = {};
    reply.to.sin_family = AF_INET;
    std::memcpy(&reply.to.sin_addr, p + 12, 4);
    return true;
}

// The reply to an ICMPv6 echo request (a raw ICMPv6 socket delivers the
// message without the IPv6 header): from the request's destination, which
// IPV6_PKTINFO tells, back to its source. The kernel makes the checksum.
bool MakeReply6(const uint8_t* p, size_t n, const msghdr& message, SReply& reply) {
    if (n < 8 || p[0] != ICMP6_ECHO_REQUEST || message.msg_namelen != sizeof reply.to6)
        return false;
    cmsghdr* pHeader = CMSG_FIRSTHDR(&message);
    while (pHeader && (pHeader->cmsg_level != IPPROTO_IPV6 || pHeader->cmsg_type != IPV6_PKTINFO))
        pHeader = CMSG_NXTHDR(const_cast<msghdr*>(&message), pHeader);
    if (!pHeader)
        return false;
    std::memcpy(&reply.from6, CMSG_DATA(pHeader), sizeof reply.from6);
    reply.from6.ipi6_ifindex = 0;
    std::memcpy(&reply.to6, message.msg_name, sizeof reply.to6);
    reply.packet.assign(p, p + n);
    reply.packet[0] = ICMP6_ECHO_REPLY;
    reply.packet[2] = reply.packet[3] = 0;
    reply.bIpv6 = true;
    return true;
}

// A raw ICMPv6 socket that sees only echo requests, with their destination,
// and sends the replies: from any address routed to this host (IPV6_FREEBIND),
// not only from the addresses its interfaces hold.
int OpenListener6() {
    int nFd = socket(AF_INET6, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    icmp6_filter filter;
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(ICMP6_ECHO_REQUEST, &filter);
    const int nOn = 1;
    if (nFd < 0 || setsockopt(nFd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter) != 0 ||
        setsockopt(nFd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &nOn, sizeof nOn) != 0 ||
        setsockopt(nFd, IPPROTO_IPV6, IPV6_FREEBIND, &nOn, sizeof nOn) != 0 ||
        setsockopt(nFd, SOL_SOCKET, SO_RCVBUFFORCE, &kBufferBytes, sizeof kBufferBytes) != 0 ||
        setsockopt(nFd, SOL_SOCKET, SO_SNDBUFFORCE, &kBufferBytes, sizeof kBufferBytes) != 0)
        return -1;
    return nFd;
}

int OpenListener() {
    int nFd = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    icmp_filter filter{~(1u << ICMP_ECHO)};
    if (nFd < 0 || setsockopt(nFd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0 ||
        setsockopt(nFd, SOL_SOCKET, SO_RCVBUFFORCE, &kBufferBytes, sizeof kBufferBytes) != 0)
        return -1;
    return nFd;
}

// A raw socket that sends whole IP packets (IPPROTO_RAW implies IP_HDRINCL),
// so the reply can come from any address; the kernel fills in the length,
// the IP identifier and the header checksum.
int OpenSender() {
    int nFd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    if (nFd < 0 ||
        setsockopt(nFd, SOL_SOCKET, SO_SNDBUFFORCE, &kBufferBytes, sizeof kBufferBytes) != 0)
        return -1;
    return nFd;
}

class CResponder {
public:
    CResponder(int nListenFd, int nSendFd, int nFd6, std::chrono::milliseconds delay,
               std::chrono::microseconds gap)
        : m_nListenFd(nListenFd), m_nSendFd(nSendFd), m_nFd6(nFd6), m_delay(delay), m_gap(gap) {}

    void Run() {
        while (!g_bStop) {
            pollfd pfds[2] = {{m_nListenFd, POLLIN, 0}, {m_nFd6, POLLIN, 0}};
            const timespec wait = TimeToNextSend();
            ppoll(pfds, 2, &wait, nullptr);
            ReadRequests(m_nListenFd, MakeReply);
            ReadRequests(m_nFd6, MakeReply6);
            SendDue();
        }
        std::fprintf(stderr, "echo_responder: %lld requests seen, %lld replies sent\n", m_nSeen,
                     m_nSent);
    }

private:
    timespec TimeToNextSend() const {
        if (m_queue.empty())
            return {0, 100'000'000};
        const auto next = std::max(m_queue.front().due, m_nextSend);
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(next - Clock::now());
        const long long nNs = std::max<long long>(0, wait.count());
        return {static_cast<time_t>(nNs / 1'000'000'000), static_cast<long>(nNs % 1'000'000'000)};
    }

    void ReadRequests(int nFd, bool (*makeReply)(const uint8_t*, size_t, const msghdr&, SReply&)) {
        static uint8_t buffers[kBatch][2048];
        static sockaddr_in6 sources[kBatch];
        static uint8_t controls[kBatch][CMSG_SPACE(sizeof(in6_pktinfo))];
        iovec iovs[kBatch];
        mmsghdr messages[kBatch] = {};
        for (unsigned i = 0; i < kBatch; ++i) {
            iovs[i] = {buffers[i], sizeof buffers[i]};
            messages[i].msg_hdr = {&sources[i], sizeof sources[i],  &iovs[i], 1,
                                   controls[i], sizeof controls[i], 0};
        }
        int n;
        while ((n = recvmmsg(nFd, messages, kBatch, 0, nullptr)) > 0) {
            const Clock::time_point due = Clock::now() + m_delay;
            for (int i = 0; i < n; ++i) {
                SReply reply{due, {}, {}, {}, {}};
                if (!makeReply(buffers[i], messages[i].msg_len, messages[i].msg_hdr, reply))
                    continue;
                ++m_nSeen;
                m_queue.push_back(std::move(reply));
            }
            for (int i = 0; i < n; ++i) { // recvmmsg shortened them
                messages[i].msg_hdr.msg_namelen = sizeof sources[i];
                messages[i].msg_hdr.msg_controllen = sizeof controls[i];
            }
        }
    }

    bool Send(const SReply& reply) const {
        if (!reply.bIpv6)
            return sendto(m_nSendFd, reply.packet.data(), reply.packet.size(), 0,
                          reinterpret_cast<const sockaddr*>(&reply.to),
                          sizeof reply.to) == static_cast<ssize_t>(reply.packet.size());
        alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
        iovec iov{const_cast<uint8_t*>(reply.packet.data()), reply.packet.size()};
        msghdr message{const_cast<sockaddr_in6*>(&reply.to6),
                       sizeof reply.to6,
                       &iov,
                       1,
                       control,
                       sizeof control,
                       0};
        cmsghdr* pHeader = CMSG_FIRSTHDR(&message);
        pHeader->cmsg_level = IPPROTO_IPV6;
        pHeader->cmsg_type = IPV6_PKTINFO;
        pHeader->cmsg_len = CMSG_LEN(sizeof(in6_pktinfo));
        std::memcpy(CMSG_DATA(pHeader), &reply.from6, sizeof reply.from6);
        return sendmsg(m_nFd6, &message, 0) == static_cast<ssize_t>(reply.packet.size());
    }

    // Replies are due in the order the requests came, so the queue's front
    // is always the next one. With a gap, each reply takes its turn in a
    // schedule one gap apart, so the rate holds however late this thread
    // wakes; a short burst makes up for a late wake-up, a long idle time
    // earns none.
    void SendDue() {
        const Clock::time_point now = Clock::now();
        m_nextSend = std::max(m_nextSend, now - kBurstGaps * m_gap);
        while (!m_queue.empty() && m_queue.front().due <= now && m_nextSend <= now) {
            m_nSent += Send(m_queue.front());
            m_queue.pop_front();
            m_nextSend += m_gap;
        }
    }

    int m_nListenFd, m_nSendFd, m_nFd6;
    std::chrono::milliseconds m_delay;
    std::chrono::microseconds m_gap;
    Clock::time_point m_nextSend{};
    std::deque<SReply> m_queue;
    long long m_nSeen = 0, m_nSent = 0;
};
} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fputs("usage: echo_responder DELAY_MS [GAP_US]\n", stderr);
        return 2;
    }
    const int nListenFd = OpenListener();
    const int nSendFd = OpenSender();
    const int nFd6 = OpenListener6();
    if (nListenFd < 0 || nSendFd < 0 || nFd6 < 0) {
        std::perror("echo_responder: raw sockets (root only)");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // Wake-ups as exact as the gap between replies asks.
    prctl(PR_SET_TIMERSLACK, 1UL);
    CResponder(nListenFd, nSendFd, nFd6, std::chrono::milliseconds(std::atoi(argv[1])),
               std::chrono::microseconds(argc == 3 ? std::atoi(argv[2]) : 0))
        .Run();
    return 0;
}
