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

int PlainEcho(in_addr target, unsigned short nSequence) {
    bool bRaw = false;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        bRaw = true;
    }
    if (fd < 0)
        return 0;
    unsigned char packet[18] = {ICMP_ECHO, 0, 0, 0, 0x4f, 0x53, 0, 0};
    packet[6] = static_cast<unsigned char>(nSequence >> 8);
    packet[7] = static_cast<unsigned char>(nSequence);
    std::memcpy(packet + 8, "Hi there!", 10);
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
    sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    int ok = 0;
    pollfd pfd{fd, POLLIN, 0};
    while (!ok && poll(&pfd, 1, 10000) == 1) {
        unsigned char reply[128];
        ssize_t n = recv(fd, reply, sizeof reply, 0);
        const unsigned char* icmp = bRaw && n > 20 ? reply + (reply[0] & 15) * 4 : reply;
        ok = n > 0 && icmp[0] == ICMP_ECHOREPLY && icmp[6] == packet[6] && icmp[7] == packet[7];
    }
    close(fd);
    return ok;
}

int PlainEcho6(const in6_addr& target, unsigned short nSequence) {
    int fd = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (fd < 0)
        fd = socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
    if (fd < 0)
        return 0;
    unsigned char packet[18] = {ICMP6_ECHO_REQUEST, 0, 0, 0, 0x4f, 0x53, 0, 0};
    packet[6] = static_cast<unsigned char>(nSequence >> 8);
    packet[7] = static_cast<unsigned char>(nSequence);
    std::memcpy(packet + 8, "Hi there!", 10);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = target;
    sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    int ok = 0;
    pollfd pfd{fd, POLLIN, 0};
    // Both kinds deliver the ICMPv6 message alone; a raw socket also sees our request.
    while (!ok && poll(&pfd, 1, 10000) == 1) {
        unsigned char reply[128];
        ssize_t n = recv(fd, reply, sizeof reply, 0);
        ok = n >= 8 && reply[0] == ICMP6_ECHO_REPLY && reply[6] == packet[6] &&
             reply[7] == packet[7];
    }
    close(fd);
    return ok;
}
