// SPDX-License-Identifier: Apache-2.0
#include "plain_probes.h"

#include <netinet/icmp6.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

int PlainConnect(in_addr target, int nPort) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in local{}, peer{};
    local.sin_family = peer.sin_family = AF_INET;
    peer.sin_addr = target;
    peer.sin_port = htons(static_cast<uint16_t>(nPort));
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    int err = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        pollfd pfd{fd, POLLOUT, 0};
        poll(&pfd, 1, -1);
        socklen_t len = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    }
    close(fd);
    return err == 0;
}

namespace {
// The request: TYPE, the identifier 0x4f53, the sequence, "Hi there!" and a
// zero byte; the checksum is left to the caller.
void FillRequest(unsigned char (&packet)[18], unsigned char nType, unsigned short nSequence) {
    const unsigned char head[8] = {nType,
                                   0,
                                   0,
                                   0,
                                   0x4f,
                                   0x53,
                                   static_cast<unsigned char>(nSequence >> 8),
                                   static_cast<unsigned char>(nSequence)};
    std::memcpy(packet, head, sizeof head);
    std::memcpy(packet + 8, "Hi there!", 10);
}

// sendto, then poll and recv until the echo reply carrying the request's
// sequence (after an IPv4 header when `bIpHeader`), close: 1 when it came.
int SendAndAwaitReply(int fd, const unsigned char (&packet)[18], const sockaddr* to, socklen_t nTo,
                      bool bIpHeader, unsigned char nReplyType) {
    sendto(fd, packet, sizeof packet, 0, to, nTo);
    int ok = 0;
    pollfd pfd{fd, POLLIN, 0};
    while (!ok && poll(&pfd, 1, 10000) == 1) {
        unsigned char reply[128];
        ssize_t n = recv(fd, reply, sizeof reply, 0);
        const unsigned char* icmp = bIpHeader && n > 20 ? reply + (reply[0] & 15) * 4 : reply;
        ok = n >= 8 && icmp[0] == nReplyType && icmp[6] == packet[6] && icmp[7] == packet[7];
    }
    close(fd);
    return ok;
}
} // namespace

int PlainEcho(in_addr target, unsigned short nSequence) {
    bool bRaw = false;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        bRaw = true;
    }
    if (fd < 0)
        return 0;
    unsigned char packet[18];
    FillRequest(packet, ICMP_ECHO, nSequence);
    unsigned sum = 0;
    for (int i = 0; i < 18; i += 2)
        sum += static_cast<unsigned>(packet[i] << 8 | packet[i + 1]);
    sum = (sum & 0xffff) + (sum >> 16);
    sum = ~(sum + (sum >> 16)) & 0xffff;
    packet[2] = static_cast<unsigned char>(sum >> 8);
    packet[3] = static_cast<unsigned char>(sum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = target;
    return SendAndAwaitReply(fd, packet, reinterpret_cast<sockaddr*>(&to), sizeof to, bRaw,
                             ICMP_ECHOREPLY);
}

// Both socket kinds deliver the ICMPv6 message alone; the kernel makes the
// checksum.
int PlainEcho6(const in6_addr& target, unsigned short nSequence) {
    int fd = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (fd < 0)
        fd = socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (fd < 0)
        return 0;
    unsigned char packet[18];
    FillRequest(packet, ICMP6_ECHO_REQUEST, nSequence);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = target;
    return SendAndAwaitReply(fd, packet, reinterpret_cast<sockaddr*>(&to), sizeof to, false,
                             ICMP6_ECHO_REPLY);
}
